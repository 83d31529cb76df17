// The line renderers, one per display mode, and the pixel primitives they
// share with the sprite pass.
#include "video/video.h"

Screen screen = {nullptr, 0, nullptr, nullptr};
uint32_t* row_cursor = nullptr;

void render_none() {}

// clang-format off
const LineRenderer line_renderers[8] = {
    render_none,  // 0
    render_none,  // 1
    render_none,  // 2
    render_none,  // 3
    render_none,  // 4
    render_none,  // 5
    render_none,  // 6
    render_none,  // 7
};
// clang-format on

void clear_screen() {
    if (screen.clear) screen.clear();
}

// Pixels outside the 240 x 160 picture are not part of it: nothing is
// written there.
void put_pixel(int32_t x, int32_t y, uint32_t colour) {
    if (x < 0 || x >= SCREEN_WIDTH || y < 0 || y >= SCREEN_HEIGHT) return;
    screen.pixels[uint32_t(y) * (screen.pitch / 4) + uint32_t(x)] = colour;
}

void set_row_cursor(int32_t x, int32_t y) {
    row_cursor = screen.pixels + uint32_t(y) * (screen.pitch / 4) + uint32_t(x);
}

void draw_sprites() {}
