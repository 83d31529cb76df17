// quorrant-run: the console without a window, for tests and benchmarks.
//
//   quorrant-run [--frames N] [--method interp|dynarec] [--regs]
//                [--peek ADDR:LEN]... [--hold BUTTON:FROM:TO]...
//                [--png FILE] [--hash] [--stats] [--switch-every N]
//                [--code-buffer BYTES] IMAGE
//
// Runs the program's start-up and load_rom reset for IMAGE, then N frames
// (default 60), then prints what was asked for. Exit status 2 on bad
// arguments or an image that cannot be loaded. --switch-every N presses the
// method keys at every N-th frame boundary, F6 and F5 in turn, as a user
// would (in Thumb state they do nothing). --code-buffer sets the size of the
// recompiler's code buffer (tests make it small, so that it fills).
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "console/console.h"
#include "cpu/cpu.h"
#include "dynarec/code_buffer.h"
#include "dynarec/dynarec.h"
#include "memory/memory.h"
#include "shell/cartridge.h"
#include "shell/keys.h"
#include "shell/main_loop.h"
#include "video/video.h"

namespace {

uint32_t picture[SCREEN_WIDTH * SCREEN_HEIGHT];

void picture_clear() { std::memset(picture, 0, sizeof picture); }

struct Peek {
    uint32_t address;
    uint32_t length;
};

struct Hold {
    int bit;
    long from, to;  // frames [from, to)
};

struct Options {
    long frames = 60;
    bool dynarec = false;
    bool regs = false;
    bool hash = false;
    bool stats = false;
    long switch_every = 0;
    uint32_t code_buffer_bytes = CODE_BUFFER_DEFAULT_SIZE;
    std::vector<Peek> peeks;
    std::vector<Hold> holds;
    std::string png;
    std::string image;
};

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr, "quorrant-run: %s\n", message.c_str());
    std::fprintf(stderr,
                 "usage: quorrant-run [--frames N] [--method interp|dynarec] [--regs] "
                 "[--peek ADDR:LEN]... [--hold BUTTON:FROM:TO]... [--png FILE] [--hash] "
                 "[--stats] [--switch-every N] [--code-buffer BYTES] IMAGE\n");
    std::exit(2);
}

bool parse_number(const std::string& text, int base, unsigned long long limit,
                  unsigned long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text.c_str(), &end, base);
    return errno == 0 && *end == '\0' && text[0] != '-' && value <= limit;
}

Peek parse_peek(const std::string& arg) {
    size_t colon = arg.find(':');
    unsigned long long address, length;
    if (colon == std::string::npos ||
        !parse_number(arg.substr(0, colon), 16, 0xFFFFFFFFull, address) ||
        !parse_number(arg.substr(colon + 1), 10, 1u << 20, length))
        usage_error("bad --peek '" + arg + "' (want hex ADDR:decimal LEN)");
    return {uint32_t(address), uint32_t(length)};
}

Hold parse_hold(const std::string& arg) {
    size_t first = arg.find(':');
    size_t second = first == std::string::npos ? first : arg.find(':', first + 1);
    unsigned long long from, to;
    if (second == std::string::npos) usage_error("bad --hold '" + arg + "' (want BUTTON:FROM:TO)");
    int bit = button_bit_by_name(arg.substr(0, first).c_str());
    if (bit < 0) usage_error("unknown button in --hold '" + arg + "'");
    if (!parse_number(arg.substr(first + 1, second - first - 1), 10, 1ull << 40, from) ||
        !parse_number(arg.substr(second + 1), 10, 1ull << 40, to))
        usage_error("bad frame numbers in --hold '" + arg + "'");
    return {bit, long(from), long(to)};
}

Options parse_options(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--frames") {
            unsigned long long frames;
            std::string text = value();
            if (!parse_number(text, 10, 1ull << 40, frames))
                usage_error("bad --frames '" + text + "'");
            options.frames = long(frames);
        } else if (arg == "--method") {
            std::string method = value();
            if (method == "dynarec")
                options.dynarec = true;
            else if (method != "interp")
                usage_error("unknown method '" + method + "' (interp or dynarec)");
        } else if (arg == "--regs") {
            options.regs = true;
        } else if (arg == "--peek") {
            options.peeks.push_back(parse_peek(value()));
        } else if (arg == "--hold") {
            options.holds.push_back(parse_hold(value()));
        } else if (arg == "--png") {
            options.png = value();
        } else if (arg == "--hash") {
            options.hash = true;
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--switch-every") {
            unsigned long long every;
            std::string text = value();
            if (!parse_number(text, 10, 1ull << 40, every) || every == 0)
                usage_error("bad --switch-every '" + text + "'");
            options.switch_every = long(every);
        } else if (arg == "--code-buffer") {
            unsigned long long bytes;
            std::string text = value();
            if (!parse_number(text, 10, CODE_BUFFER_MAX_SIZE, bytes) ||
                bytes < CODE_BUFFER_MIN_SIZE)
                usage_error("bad --code-buffer '" + text + "' (" +
                            std::to_string(CODE_BUFFER_MIN_SIZE) + " to " +
                            std::to_string(CODE_BUFFER_MAX_SIZE) + " bytes)");
            options.code_buffer_bytes = uint32_t(bytes);
        } else if (arg.size() > 1 && arg[0] == '-') {
            usage_error("unknown option '" + arg + "'");
        } else if (options.image.empty()) {
            options.image = arg;
        } else {
            usage_error("more than one image given");
        }
    }
    if (options.image.empty()) usage_error("no image given");
    return options;
}

void apply_holds(const Options& options, long frame) {
    uint16_t keys = 0xFFFF;
    for (const Hold& hold : options.holds)
        if (frame >= hold.from && frame < hold.to) keys &= uint16_t(~(1u << hold.bit));
    key_state = keys;
}

// R, G and B of a host pixel: red in bits 19-23, green 11-15, blue 3-7.
void pixel_rgb(uint32_t pixel, uint8_t rgb[3]) {
    rgb[0] = uint8_t(pixel >> 16);
    rgb[1] = uint8_t(pixel >> 8);
    rgb[2] = uint8_t(pixel);
}

uint64_t picture_hash() {
    uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a 64
    for (uint32_t pixel : picture) {
        uint8_t rgb[3];
        pixel_rgb(pixel, rgb);
        for (uint8_t byte : rgb) {
            hash ^= byte;
            hash *= 0x100000001b3ull;
        }
    }
    return hash;
}

bool write_png(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, SCREEN_WIDTH, SCREEN_HEIGHT, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(SCREEN_WIDTH * 3);
    for (int y = 0; y < SCREEN_HEIGHT; y++) {
        for (int x = 0; x < SCREEN_WIDTH; x++)
            pixel_rgb(picture[y * SCREEN_WIDTH + x], &row[x * 3]);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

// F6 while the interpreter was chosen last, else F5, through the main
// loop's event handling: the method changes only where the key would
// change it.
void press_method_key(bool& dynarec_chosen) {
    dynarec_chosen = !dynarec_chosen;
    handle_event({EVENT_KEY_DOWN, dynarec_chosen ? KEY_F6 : KEY_F5});
    handle_event({EVENT_KEY_UP, dynarec_chosen ? KEY_F6 : KEY_F5});
}

// Resident memory of this process in KB, from /proc; 0 where unknown.
long resident_kb() {
    std::ifstream statm("/proc/self/statm");
    long pages_total = 0, pages_resident = 0;
    if (!(statm >> pages_total >> pages_resident)) return 0;
    return pages_resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void print_registers() {
    for (int i = 0; i < 16; i++) std::printf("r%d 0x%08x\n", i, cpu_regs[i]);
    pack_flags();
    std::printf("cpsr 0x%08x\n", cpu_cpsr);
}

void print_peek(const Peek& peek) {
    std::printf("0x%08x:", peek.address);
    for (uint32_t i = 0; i < peek.length; i++)
        std::printf(" %02x", mem_read8(peek.address + i) & 0xFF);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    Options options = parse_options(argc, argv);
    if (options.dynarec && !dynarec_available()) {
        std::fprintf(stderr, "quorrant-run: dynarec is not available on this build\n");
        return 2;
    }

    screen = {picture, SCREEN_WIDTH * 4, picture_clear, nullptr};
    code_buffer_choose_size(options.code_buffer_bytes);
    console_startup();
    if (read_rom_file(options.image.c_str())) {
        console_shutdown();
        return 2;  // read_rom_file said why
    }
    console_reset();
    if (options.dynarec) cpu_method = Method::Dynarec;

    long rss_start = resident_kb();
    uint64_t flushes_before = dynarec_flush_count;
    bool dynarec_chosen = options.dynarec;
    long switches = 0;
    auto start = std::chrono::steady_clock::now();
    uint64_t steps_before = steps_taken;
    for (long frame = 0; frame < options.frames; frame++) {
        if (options.switch_every && frame > 0 && frame % options.switch_every == 0) {
            press_method_key(dynarec_chosen);
            switches++;
        }
        apply_holds(options, frame);
        frame_run();
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    uint64_t instructions = steps_taken - steps_before;

    if (options.regs) print_registers();
    for (const Peek& peek : options.peeks) print_peek(peek);
    if (options.hash) std::printf("frame-hash 0x%016" PRIx64 "\n", picture_hash());
    if (options.stats) {
        std::printf("frames %ld\n", options.frames);
        std::printf("instructions %" PRIu64 "\n", instructions);
        std::printf("seconds %.6f\n", seconds);
        std::printf("mips %.3f\n", seconds > 0 ? instructions / seconds / 1e6 : 0.0);
        std::printf("fps %.1f\n", seconds > 0 ? options.frames / seconds : 0.0);
        std::printf("method-keys %ld\n", switches);
        std::printf("dynarec-flushes %" PRIu64 "\n", dynarec_flush_count - flushes_before);
        std::printf("code-buffer %u %s\n", code_buffer_size,
                    code_buffer_two_views() ? "two-views" : "switching");
        std::printf("rss-start-kb %ld\n", rss_start);
        std::printf("rss-end-kb %ld\n", resident_kb());
    }
    int status = 0;
    if (!options.png.empty() && !write_png(options.png)) {
        std::fprintf(stderr, "quorrant-run: cannot write '%s'\n", options.png.c_str());
        status = 2;
    }
    console_shutdown();
    return status;
}
