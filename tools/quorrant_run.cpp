// quorrant-run: the console without a window, for tests, benchmarks and CI.
// `quorrant-run --help` lists the options. It runs the program's start-up
// and load reset for IMAGE, then N frames (default 60) as fast as the host
// allows, then prints what was asked for.
//
// Exit status: 0 done; 1 --until's word stayed zero for all N frames; 2 bad
// arguments, an image that cannot be loaded or an output that cannot be
// written; 124 --timeout reached. Every error is one line on standard error
// starting "quorrant-run:". Whatever stopped the run, the outputs describe
// the frames that did run.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
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
#include "shell/picture_file.h"
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
    uint32_t translate_after = 0;  // 0: the recompiler's own counts
    double timeout = 0;            // seconds; 0: none
    bool until = false;
    uint32_t until_address = 0;
    std::vector<Peek> peeks;
    std::vector<Hold> holds;
    std::string png;
    std::string image;
};

const char USAGE[] =
    "usage: quorrant-run [OPTION]... IMAGE\n"
    "Runs the cartridge IMAGE without a window, as fast as the host allows.\n"
    "  --frames N              run N frames (default 60; with --until, at most N)\n"
    "  --until ADDR            stop after the first frame in which the word at ADDR is not 0\n"
    "  --timeout SECONDS       stop after SECONDS of running, with status 124\n"
    "  --method interp|dynarec the method to start with (default interp)\n"
    "  --switch-every N        press F6 and F5 in turn every N frames\n"
    "  --code-buffer BYTES     the recompiler's code buffer size (tests make it small)\n"
    "  --translate-after N     the recompiler translates a block start the N-th time it meets it\n"
    "                          without a block (default: the measured counts; tests use 1)\n"
    "  --hold BUTTON:FROM:TO   hold A, B, SELECT, START, RIGHT, LEFT, UP, DOWN, R or L in frames "
    "FROM to TO-1\n"
    "  --regs                  print r0-r15 and the CPSR\n"
    "  --peek ADDR:LEN         print LEN bytes from ADDR, 16 a line\n"
    "  --hash                  print an FNV-1a 64 hash of the picture\n"
    "  --png FILE              save the picture as a PNG (FILE is opened before the run)\n"
    "  --stats                 print frames, instructions, speed, undefined-instructions, "
    "bios-calls\n"
    "  -h, --help              print this help\n"
    "ADDR is hexadecimal, with or without 0x; N, LEN, FROM and TO are decimal.\n"
    "Exit status: 0 done; 1 --until's word still 0 after N frames; 2 bad arguments,\n"
    "image or output; 124 --timeout reached.\n";

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr, "quorrant-run: %s\n", message.c_str());
    std::fprintf(stderr,
                 "usage: quorrant-run [OPTION]... IMAGE (quorrant-run --help lists them)\n");
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

uint32_t parse_address(const std::string& text, const std::string& option) {
    unsigned long long address;
    if (!parse_number(text, 16, 0xFFFFFFFFull, address))
        usage_error("bad address in " + option + " '" + text + "' (want hexadecimal)");
    return uint32_t(address);
}

Peek parse_peek(const std::string& arg) {
    size_t colon = arg.find(':');
    unsigned long long length;
    if (colon == std::string::npos || !parse_number(arg.substr(colon + 1), 10, 1u << 20, length))
        usage_error("bad --peek '" + arg + "' (want hexadecimal ADDR:decimal LEN)");
    return {parse_address(arg.substr(0, colon), "--peek"), uint32_t(length)};
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
    if (from > to) usage_error("--hold '" + arg + "' ends before it starts");
    return {bit, long(from), long(to)};
}

double parse_seconds(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 ||
        seconds > 1e9)
        usage_error("bad --timeout '" + text + "' (want a number of seconds above 0)");
    return seconds;
}

Options parse_options(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(USAGE, stdout);
            std::exit(0);
        } else if (arg == "--frames") {
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
        } else if (arg == "--timeout") {
            options.timeout = parse_seconds(value());
        } else if (arg == "--until") {
            options.until = true;
            options.until_address = parse_address(value(), "--until");
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
        } else if (arg == "--translate-after") {
            unsigned long long meetings;
            std::string text = value();
            if (!parse_number(text, 10, 0xFFFF, meetings) || meetings == 0)
                usage_error("bad --translate-after '" + text + "' (1 to 65535)");
            options.translate_after = uint32_t(meetings);
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

// Sixteen bytes a line, each line headed by the address of its first byte.
void print_peek(const Peek& peek) {
    uint32_t i = 0;
    do {
        std::printf("0x%08x:", peek.address + i);
        for (uint32_t end = i + 16; i < peek.length && i < end; i++)
            std::printf(" %02x", mem_read8(peek.address + i) & 0xFF);
        std::printf("\n");
    } while (i < peek.length);
}

// What the frames run cost and met, for --stats.
struct RunCounts {
    long frames = 0;
    long method_keys = 0;
    double seconds = 0;
    uint64_t instructions = 0;
    uint64_t flushes = 0;
    uint64_t blocks = 0;
    uint64_t undefined_instructions = 0;
    uint64_t bios_calls = 0;
    long rss_start_kb = 0;
};

void print_stats(const RunCounts& run) {
    double seconds = run.seconds;
    std::printf("frames %ld\n", run.frames);
    std::printf("instructions %" PRIu64 "\n", run.instructions);
    std::printf("seconds %.6f\n", seconds);
    std::printf("mips %.3f\n", seconds > 0 ? run.instructions / seconds / 1e6 : 0.0);
    std::printf("fps %.1f\n", seconds > 0 ? run.frames / seconds : 0.0);
    std::printf("method-keys %ld\n", run.method_keys);
    std::printf("dynarec-flushes %" PRIu64 "\n", run.flushes);
    std::printf("dynarec-blocks %" PRIu64 "\n", run.blocks);
    std::printf("code-buffer %u %s\n", code_buffer_size,
                code_buffer_two_views() ? "two-views" : "switching");
    std::printf("undefined-instructions %" PRIu64 "\n", run.undefined_instructions);
    std::printf("bios-calls %" PRIu64 "\n", run.bios_calls);
    std::printf("rss-start-kb %ld\n", run.rss_start_kb);
    std::printf("rss-end-kb %ld\n", resident_kb());
}

// The --png file, opened before the run so that a path that cannot be
// written fails at once rather than after every frame has run; emptied and
// written only once there is a picture, so that a run that fails before
// leaves an existing file as it was (and removes one it created).
struct PictureOutput {
    std::FILE* file = nullptr;
    bool created = false;
};

bool open_picture_output(const std::string& path, PictureOutput& output) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    output.created = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    output.file = fdopen(fd, "wb");
    if (!output.file) ::close(fd);
    return output.file != nullptr;
}

void drop_picture_output(const std::string& path, PictureOutput& output) {
    if (!output.file) return;
    std::fclose(output.file);
    if (output.created) ::unlink(path.c_str());
}

bool write_picture_output(PictureOutput& output) {
    if (ftruncate(fileno(output.file), 0) != 0) {
        std::fclose(output.file);
        return false;
    }
    return write_picture_png(output.file, picture, SCREEN_WIDTH * 4);
}

enum class Stop { FRAMES_DONE, WORD_SET, TIMEOUT };

// The frames, until one of the three ends comes.
Stop run_frames(const Options& options, RunCounts& run) {
    bool dynarec_chosen = options.dynarec;
    auto start = std::chrono::steady_clock::now();
    uint64_t steps_before = steps_taken, flushes_before = dynarec_flush_count;
    uint64_t blocks_before = blocks_translated;
    uint64_t undefined_before = undefined_instruction_count, bios_before = bios_call_count;
    Stop stop = Stop::FRAMES_DONE;
    for (long frame = 0; frame < options.frames; frame++) {
        if (options.switch_every && frame > 0 && frame % options.switch_every == 0) {
            press_method_key(dynarec_chosen);
            run.method_keys++;
        }
        apply_holds(options, frame);
        frame_run();
        run.frames++;
        if (options.until && mem_read32(options.until_address) != 0) {
            stop = Stop::WORD_SET;
            break;
        }
        if (options.timeout > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >=
                options.timeout) {
            stop = frame + 1 < options.frames ? Stop::TIMEOUT : Stop::FRAMES_DONE;
            break;
        }
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.instructions = steps_taken - steps_before;
    run.flushes = dynarec_flush_count - flushes_before;
    run.blocks = blocks_translated - blocks_before;
    run.undefined_instructions = undefined_instruction_count - undefined_before;
    run.bios_calls = bios_call_count - bios_before;
    return stop;
}

}  // namespace

int main(int argc, char** argv) {
    Options options = parse_options(argc, argv);
    if (options.dynarec && !dynarec_available()) {
        std::fprintf(stderr, "quorrant-run: dynarec is not available on this build\n");
        return 2;
    }
    PictureOutput png;
    if (!options.png.empty() && !open_picture_output(options.png, png)) {
        std::fprintf(stderr, "quorrant-run: cannot write '%s': %s\n", options.png.c_str(),
                     std::strerror(errno));
        return 2;
    }

    screen = {picture, SCREEN_WIDTH * 4, picture_clear, nullptr};
    code_buffer_choose_size(options.code_buffer_bytes);
    dynarec_translate_after(options.translate_after);
    console_startup();
    if (read_rom_file(options.image.c_str())) {
        std::fprintf(stderr, "quorrant-run: cannot load '%s': %s\n", options.image.c_str(),
                     rom_load_error);
        drop_picture_output(options.png, png);
        console_shutdown();
        return 2;
    }
    console_reset();
    if (options.dynarec) cpu_method = Method::Dynarec;

    RunCounts run;
    run.rss_start_kb = resident_kb();
    Stop stop = run_frames(options, run);

    if (options.regs) print_registers();
    for (const Peek& peek : options.peeks) print_peek(peek);
    if (options.hash) std::printf("frame-hash 0x%016" PRIx64 "\n", picture_hash());
    if (options.stats) print_stats(run);
    std::fflush(stdout);

    int status = 0;
    if (stop == Stop::TIMEOUT) {
        std::fprintf(stderr, "quorrant-run: timed out after %g seconds: %ld frames run\n",
                     options.timeout, run.frames);
        status = 124;
    } else if (options.until && stop != Stop::WORD_SET) {
        std::fprintf(stderr, "quorrant-run: the word at 0x%08x was still 0 after %ld frames\n",
                     options.until_address, run.frames);
        status = 1;
    }
    errno = 0;
    if (png.file && !write_picture_output(png)) {
        std::fprintf(stderr, "quorrant-run: cannot write '%s': %s\n", options.png.c_str(),
                     errno ? std::strerror(errno) : "the PNG library failed");
        status = 2;
    }
    console_shutdown();
    return status;
}
