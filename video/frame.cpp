// frame_run: the scanline loop. The processor runs only here, in budgets of
// cycles per line (cpu_run); DISP_SR and DISP_Y advance only here, and no
// interrupt is ever raised: a program learns of the display's progress by
// reading them.
#include "cpu/cpu.h"
#include "memory/memory.h"
#include "video/video.h"

void run_processor(uint32_t budget, uint32_t extra) { cpu_run(budget, extra); }
void (*processor_run)(uint32_t budget, uint32_t extra) = run_processor;

namespace {

void set_disp_sr_bits(uint16_t bits) { io_write16(DISP_SR, io_read16(DISP_SR) | bits); }

// Only the two flags are cleared: bits 2-15 keep what the program wrote.
void clear_blank_flags() {
    io_write16(DISP_SR, io_read16(DISP_SR) & ~(DISP_SR_VBLANK | DISP_SR_HBLANK));
}

void next_line() { io_write16(DISP_Y, uint16_t(io_read16(DISP_Y) + 1)); }

}  // namespace

void frame_run() {
    clear_blank_flags();
    io_write16(DISP_Y, 0);
    for (int line = 0; line < VISIBLE_LINES; line++) {
        processor_run(LINE_VISIBLE_CYCLES, 0);
        set_disp_sr_bits(DISP_SR_HBLANK);
        line_renderers[io_read16(DISP_CR) & 7]();  // drawn as things stand now
        processor_run(LINE_HBLANK_CYCLES, HBLANK_STEP_EXTRA);
        clear_blank_flags();
        next_line();
    }
    set_disp_sr_bits(DISP_SR_VBLANK);
    for (int line = 0; line < VBLANK_LINES; line++) {
        processor_run(LINE_VBLANK_CYCLES, 0);
        next_line();
    }
    if (io_read16(DISP_CR) & DISP_CR_SPRITES) draw_sprites();
    if (screen.present) screen.present();
}
