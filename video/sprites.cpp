// The sprite pass: once a frame, after the v-blank lines, every one of the
// 128 oam entries is drawn as an 8 x 8 tile of 8-bit pixels over the
// finished picture, in ascending order, so a higher entry lies on top where
// two overlap. Sizes, shapes, flips, priorities and the disable bit are not
// used. A sprite's x and y run 0-255, so it can reach past the right and
// bottom edges (to 262), never the left or top: each is clipped once, to
// the columns and rows inside the picture.
#include <algorithm>

#include "memory/memory.h"
#include "video/tile_row.h"
#include "video/video.h"

namespace {

constexpr int SPRITE_ENTRIES = 128;
constexpr uint32_t SPRITE_TILES = 0x10000;  // object tiles in vram
constexpr uint32_t SPRITE_TILE_BYTES = 64;
constexpr uint32_t OBJECT_PALETTE = 256;  // object half of host_palette

uint16_t oam_half(uint32_t index) { return load_le16(oam + 2 * index); }

}  // namespace

//  attribute 0:  15        8 7       0     attribute 1:  15        8 7       0
//               [  unused   |    y    ]                 [  unused   |    x    ]
//  attribute 2:  15        9 8         0
//               [  unused   |   tile    ]
void draw_sprites() {
    for (int n = 0; n < SPRITE_ENTRIES; n++) {
        int y = oam_half(4 * n) & 0xFF;
        int x = oam_half(4 * n + 1) & 0xFF;
        uint32_t tile = oam_half(4 * n + 2) & 0x1FF;
        int columns = std::min(TILE_SIZE, SCREEN_WIDTH - x);
        int rows = std::min(TILE_SIZE, SCREEN_HEIGHT - y);
        const uint8_t* pixels = vram + SPRITE_TILES + SPRITE_TILE_BYTES * tile;
        if (columns <= 0) continue;  // wholly right of the picture
        for (int r = 0; r < rows; r++)
            draw_tile_row(pixels + TILE_SIZE * r, columns, host_palette + OBJECT_PALETTE,
                          picture_row(uint32_t(y + r)) + x);
    }
}
