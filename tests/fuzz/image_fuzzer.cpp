// Image fuzzer: the input is a cartridge image. It is loaded as a file load
// would install it and run for a bounded number of steps on the interpreter,
// with every line renderer and the sprite pass drawing what it made. Every
// step must use some cycles.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "console/console.h"
#include "cpu/cpu.h"
#include "memory/memory.h"
#include "shell/cartridge.h"
#include "shell/main_loop.h"
#include "video/video.h"

namespace {

bool started = false;
uint32_t picture[SCREEN_WIDTH * SCREEN_HEIGHT];
constexpr int STEPS = 20000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    if (!started) {
        screen = {picture, SCREEN_WIDTH * 4, [] { std::memset(picture, 0, sizeof picture); },
                  nullptr};
        console_startup();
        started = true;
    }
    size_t rom_bytes = size > ROM_MIN_SIZE ? size : ROM_MIN_SIZE;
    uint8_t* image = new uint8_t[(rom_bytes + 3) & ~size_t(3)]();
    if (size) std::memcpy(image, data, size);
    install_rom(image, uint32_t(rom_bytes));
    build_region_base();
    console_reset();

    for (int step = 0; step < STEPS; step++) {
        // A step that used no cycles would keep frame_run in its line
        // forever: every step must cost something.
        if ((cpu_step() & 0xFFFF) == 0) std::abort();
        if (step % 1000 == 999) {
            io_write16(DISP_Y, uint16_t(step / 1000));
            line_renderers[io_read16(DISP_CR) & 7]();
        }
    }
    draw_sprites();
    return 0;
}
