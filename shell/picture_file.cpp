// PNG writing through libpng, whose errors come back through setjmp.
#include "shell/picture_file.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "video/video.h"

void pixel_rgb(uint32_t pixel, uint8_t rgb[3]) {
    rgb[0] = uint8_t(pixel >> 16);
    rgb[1] = uint8_t(pixel >> 8);
    rgb[2] = uint8_t(pixel);
}

bool write_picture_png(std::FILE* file, const uint32_t* pixels, uint32_t pitch) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    // Declared before setjmp and only touched after it, so that a longjmp
    // back here finds it intact.
    std::vector<uint8_t> row(SCREEN_WIDTH * 3);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, SCREEN_WIDTH, SCREEN_HEIGHT, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < SCREEN_HEIGHT; y++) {
        const uint32_t* line = pixels + y * (pitch / 4);
        for (int x = 0; x < SCREEN_WIDTH; x++) pixel_rgb(line[x], &row[x * 3]);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    return std::fclose(file) == 0 && flushed;
}

namespace {

// Creates the first free name of the series; -1 (errno set) when none can
// be created.
int create_screenshot_file(std::string& name) {
    std::time_t now = std::time(nullptr);
    std::tm local;
    localtime_r(&now, &local);
    char stem[64];
    std::strftime(stem, sizeof stem, "quorrant-%Y%m%d-%H%M%S", &local);
    for (int attempt = 1; attempt < 1000; attempt++) {
        char suffix[16] = "";
        if (attempt > 1) std::snprintf(suffix, sizeof suffix, "-%d", attempt);
        name = std::string(stem) + suffix + ".png";
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

void save_screenshot(const uint32_t* pixels, uint32_t pitch) {
    std::string name;
    int fd = create_screenshot_file(name);
    std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!file) {
        std::fprintf(stderr, "Quorrant: cannot save the screenshot '%s': %s\n", name.c_str(),
                     std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return;
    }
    errno = 0;
    if (!write_picture_png(file, pixels, pitch)) {
        std::fprintf(stderr, "Quorrant: cannot save the screenshot '%s': %s\n", name.c_str(),
                     errno ? std::strerror(errno) : "the PNG library failed");
        ::unlink(name.c_str());
        return;
    }
    std::fprintf(stderr, "Quorrant: screenshot saved as %s\n", name.c_str());
}
