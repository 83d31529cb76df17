// Reading cartridge images and resetting the console.
#include "shell/cartridge.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "console/console.h"
#include "memory/memory.h"
#include "video/video.h"

DialogLayer dialog = {nullptr, nullptr};
std::string loaded_rom_path;
const char* rom_load_error = "";

namespace {

bool load_failed(const char* reason) {
    rom_load_error = reason;
    return true;
}

// The words the user reads in the error box: short, lower case.
const char* open_failure_reason(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return "no such file";
        case EACCES:
        case EPERM: return "permission denied";
        default: return std::strerror(error);
    }
}

void show_message(const char* text, const char* title) {
    if (dialog.show_message) dialog.show_message(text, title);
}

// Reads exactly `size` bytes, or fails: a file that shrinks, grows or errors
// while it is read is not a cartridge image.
bool read_whole(int fd, uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    uint8_t extra;
    return ::read(fd, &extra, 1) == 0;
}

}  // namespace

// The previous image is released only once the new one has been read, so a
// failed load keeps what was there. The file is opened without blocking, so
// that a FIFO or a device is refused instead of waited on.
bool read_rom_file(const char* path) {
    if (path[0] == '\0') return load_failed("no cartridge chosen");
    if (std::strlen(path) > PATH_LIMIT)
        return load_failed("the path is longer than 255 characters");

    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return load_failed(open_failure_reason(errno));
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return load_failed("not a regular file");
    }
    if (uint64_t(info.st_size) > ROM_MAX_SIZE) {
        ::close(fd);
        return load_failed("larger than 32 MiB, the largest cartridge");
    }
    size_t file_size = size_t(info.st_size);
    size_t size = file_size > ROM_MIN_SIZE ? file_size : ROM_MIN_SIZE;
    // Padded to whole words, so that an aligned word access starting inside
    // the image never leaves the buffer.
    uint8_t* image = new (std::nothrow) uint8_t[(size + 3) & ~size_t(3)]();
    if (!image) {
        ::close(fd);
        return load_failed("out of memory");
    }
    bool complete = read_whole(fd, image, file_size);
    ::close(fd);
    if (!complete) {
        delete[] image;
        show_message(READ_ERROR_TEXT, nullptr);
        return load_failed("the file changed or could not be read");
    }
    install_rom(image, uint32_t(size));
    build_region_base();
    loaded_rom_path = path;
    return false;
}

int load_rom(const char* path) {
    std::string chosen;
    if (path) {
        chosen = path;
    } else if (dialog.choose_path) {
        dialog.choose_path(chosen);
    }
    bool running = !loaded_rom_path.empty();
    // A cancel leaves a running cartridge alone: the player only changed
    // their mind.
    if (chosen.empty() && running) return 0;
    if (read_rom_file(chosen.c_str())) {
        if (chosen.empty()) {
            std::fprintf(stderr, "Quorrant: %s\n", rom_load_error);
            show_message(ROM_ERROR_TEXT, ROM_ERROR_TITLE);
        } else {
            std::fprintf(stderr, "Quorrant: cannot load '%s': %s\n", chosen.c_str(),
                         rom_load_error);
            show_message((std::string(ROM_ERROR_TEXT) + "\n" + rom_load_error).c_str(),
                         ROM_ERROR_TITLE);
        }
        // The cartridge that was running goes on where it was.
        if (running) return 0;
    }
    console_reset();
    return 0;
}
