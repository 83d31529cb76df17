// The console without the shell: this program links every object of the
// core library (whole archive), so a core file that needs anything of shell/
// fails to link here. It then runs a few instructions to show the core works
// on its own.
#include <cstdio>
#include <cstring>

#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/thumb.h"
#include "dynarec/dynarec.h"
#include "memory/memory.h"
#include "video/video.h"

namespace {

uint32_t picture[SCREEN_WIDTH * SCREEN_HEIGHT];

// clang-format off
const uint32_t program[] = {
    0xE3A00402,  // MOV r0, #0x02000000
    0xE3A0102A,  // MOV r1, #42
    0xE5801000,  // STR r1, [r0]
    0xEAFFFFFE,  // B .
};
// clang-format on

}  // namespace

int main() {
    screen = {picture, SCREEN_WIDTH * 4, [] { std::memset(picture, 0, sizeof picture); }, nullptr};
    code_buffer_init();
    alloc_memory();
    build_arm_table();
    build_thumb_table();
    write_bios_image();
    uint8_t* image = new uint8_t[ROM_MIN_SIZE]();
    std::memcpy(image, program, sizeof program);
    install_rom(image, ROM_MIN_SIZE);
    build_region_base();
    memory_reset();
    cpu_reset();
    arm_refill();
    frame_run();
    uint32_t stored = mem_read32(0x02000000);
    code_buffer_release();
    free_memory();
    if (stored != 42) {
        std::fprintf(stderr, "core alone: work RAM holds %u, not 42\n", stored);
        return 1;
    }
    return 0;
}
