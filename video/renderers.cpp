// The table of line renderers, one per display mode, and the row cursor of
// the bitmap modes.
#include "video/video.h"

Screen screen = {nullptr, 0, nullptr, nullptr};
uint32_t* row_cursor = nullptr;

void render_none() {}

// clang-format off
const LineRenderer line_renderers[8] = {
    render_mode0,  // 0: BG0 tiles, 8 bits per pixel
    render_mode1,  // 1: BG0 tiles, 4 bits per pixel
    render_mode2,  // 2: BG2 tiles, one-byte map
    render_mode3,  // 3: direct-colour bitmap
    render_mode4,  // 4: paletted bitmap, frame select
    render_none,   // 5
    render_none,   // 6
    render_none,   // 7
};
// clang-format on

void clear_screen() {
    if (screen.clear) screen.clear();
}

void set_row_cursor(int32_t x, int32_t y) { row_cursor = picture_row(uint32_t(y)) + x; }
