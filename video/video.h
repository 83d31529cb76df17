// Video: the frame and scanline timing that is the system's only clock, the
// line renderers chosen by the display mode, and the sprite pass.
//
// The picture is a 240 x 160 array of 32-bit host pixels that the front end
// owns (an SDL surface in the program, plain memory in the headless runner)
// and lends to the video code through `screen`. The front end sets its
// hooks: clear fills the picture with black, present shows a finished frame.
#pragma once

#include <cstdint>

constexpr int SCREEN_WIDTH = 240;
constexpr int SCREEN_HEIGHT = 160;

struct Screen {
    uint32_t* pixels;   // valid while the front end has the picture locked
    uint32_t pitch;     // row length in bytes
    void (*clear)();    // fill the whole picture with pixel value 0
    void (*present)();  // unlock and show the finished frame
};
extern Screen screen;

void clear_screen();

constexpr uint32_t LINE_VISIBLE_CYCLES = 1004;
constexpr uint32_t LINE_HBLANK_CYCLES = 228;
constexpr uint32_t HBLANK_STEP_EXTRA = 2;
constexpr uint32_t LINE_VBLANK_CYCLES = 1232;
constexpr int VISIBLE_LINES = 160;
constexpr int VBLANK_LINES = 68;

constexpr uint16_t DISP_SR_VBLANK = 0x0001;
constexpr uint16_t DISP_SR_HBLANK = 0x0002;
constexpr uint16_t DISP_CR_SPRITES = 0x1000;

// One whole frame: 160 drawn lines and 68 v-blank lines of processor time,
// the sprite pass, then screen.present(). The caller has the picture locked.
void frame_run();

// How frame_run runs the processor for each part of a line: run_processor
// (cpu_run), or a stand-in that a test of the video side puts here.
extern void (*processor_run)(uint32_t budget, uint32_t extra);
void run_processor(uint32_t budget, uint32_t extra);

// One renderer per display mode (DISP_CR bits 0-2), each drawing one whole
// line of the picture per call. Modes 0-2 draw tiles over what the picture
// already holds (pixel value 0 is transparent); modes 3 and 4 write every
// pixel of the line; modes 5-7 draw nothing.
using LineRenderer = void (*)();
extern const LineRenderer line_renderers[8];
void render_mode0();  // BG0, 8-bit tiles, 16-bit map entries
void render_mode1();  // BG0, 4-bit tiles with palette banks
void render_mode2();  // BG2, 8-bit tiles, one-byte map entries
void render_mode3();  // 240 x 160 direct colours
void render_mode4();  // 240 x 160 palette indices, two frames
void render_none();

// Each drawing renderer numbers its lines by counting its own calls: the
// line it draws next, 0..159, back to 0 after 159. They stay in step with
// DISP_Y while the mode changes only between frames.
extern uint16_t mode0_line_counter;
extern uint16_t mode1_line_counter;
extern uint16_t mode2_line_counter;
extern uint16_t mode3_line_counter;
extern uint16_t mode4_line_counter;
inline uint16_t next_line_count(uint16_t line) {
    return line + 1 == SCREEN_HEIGHT ? 0 : uint16_t(line + 1);
}

// The first pixel of row y (0..159) of the picture: rows lie pitch bytes
// apart, and a row may be longer than the 240 pixels that show.
inline uint32_t* picture_row(uint32_t y) { return screen.pixels + y * (screen.pitch / 4); }
// Points row_cursor at pixel (x, y), for renderers that write a whole row.
void set_row_cursor(int32_t x, int32_t y);
extern uint32_t* row_cursor;

// The sprite pass: all 128 entries of oam, in ascending order, as 8 x 8
// tiles of 8-bit pixels over the finished picture, clipped at its right and
// bottom edges.
void draw_sprites();
