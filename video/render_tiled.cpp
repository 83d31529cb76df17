// The tiled modes: an unscrolled grid of 8 x 8 tiles, one map entry per
// tile, drawn a line at a time. Pixel value 0 is transparent: the picture
// keeps what it held there (it is never cleared between frames). Only the
// character base (bits 2-3) and map base (bits 8-12) of the layer's control
// register are used; scrolling, priority, size and flips are not.
#include "memory/memory.h"
#include "video/video.h"

uint16_t mode0_line_counter = 0;
uint16_t mode1_line_counter = 0;
uint16_t mode2_line_counter = 0;

namespace {

constexpr int TILE_SIZE = 8;
constexpr uint32_t CHAR_BASE_UNIT = 0x4000;
constexpr uint32_t MAP_BASE_UNIT = 0x800;
constexpr uint32_t TEXT_MAP_ROW_ENTRIES = 32;  // a map row of 16-bit entries
constexpr uint32_t BYTE_MAP_ROW_ENTRIES = 64;  // a map row of one-byte entries
constexpr int TEXT_ENTRIES_PER_LINE = 31;      // the last covers x 240-247
constexpr int BYTE_ENTRIES_PER_LINE = 30;
constexpr uint32_t TILE_BYTES_8BIT = 64;
constexpr uint32_t TILE_BYTES_4BIT = 32;

//  control register:  15     13 12        8 7 6   4 3  2 1  0
//                    [ ...     | map base  |  ...   |char| ... ]
uint32_t char_base(uint16_t control) { return ((control >> 2) & 3) * CHAR_BASE_UNIT; }
uint32_t map_base(uint16_t control) { return ((control >> 8) & 0x1F) * MAP_BASE_UNIT; }

uint16_t vram_half(uint32_t offset) { return load_le16(vram + offset); }

// Eight one-byte pixels of a tile row starting at `row`, for x0 .. x0 + 7.
void draw_row_8bit(const uint8_t* row, int32_t x0, int32_t y) {
    for (int j = 0; j < TILE_SIZE; j++)
        if (row[j] != 0) put_pixel(x0 + j, y, host_palette[row[j]]);
}

}  // namespace

//  map entry:  15  12 11 10 9                0
//             [ bank | flips|   tile number   ]     bank and flips unused
void render_mode0() {
    uint16_t control = io_read16(BG0_CR);
    uint32_t line = mode0_line_counter;
    uint32_t tiles = char_base(control);
    uint32_t map_row = map_base(control) + 2 * TEXT_MAP_ROW_ENTRIES * (line / TILE_SIZE);
    for (int i = 0; i < TEXT_ENTRIES_PER_LINE; i++) {
        uint32_t tile = vram_half(map_row + 2 * i) & 0x3FF;
        uint32_t row = tiles + TILE_BYTES_8BIT * tile + TILE_SIZE * (line % TILE_SIZE);
        draw_row_8bit(vram + row, TILE_SIZE * i, int32_t(line));
    }
    mode0_line_counter = next_line_count(mode0_line_counter);
}

// 4-bit tiles as the console lays them out: 32 bytes a tile, 4 bytes a
// row, byte k holding pixel 2k in its low nibble and 2k + 1 in its high
// nibble. Nibble n of a tile under palette bank p is colour 16p + n.
//
//  map entry:  15  12 11 10 9                0
//             [ bank | flips|   tile number   ]     flips unused
void render_mode1() {
    uint16_t control = io_read16(BG0_CR);
    uint32_t line = mode1_line_counter;
    uint32_t tiles = char_base(control);
    uint32_t map_row = map_base(control) + 2 * TEXT_MAP_ROW_ENTRIES * (line / TILE_SIZE);
    for (int i = 0; i < TEXT_ENTRIES_PER_LINE; i++) {
        uint16_t entry = vram_half(map_row + 2 * i);
        const uint32_t* bank = host_palette + 16 * (entry >> 12);
        const uint8_t* row =
            vram + tiles + TILE_BYTES_4BIT * (entry & 0x3FF) + 4 * (line % TILE_SIZE);
        int32_t x0 = TILE_SIZE * i;
        for (int k = 0; k < 4; k++) {
            uint8_t low = row[k] & 0xF, high = row[k] >> 4;
            if (low != 0) put_pixel(x0 + 2 * k, int32_t(line), bank[low]);
            if (high != 0) put_pixel(x0 + 2 * k + 1, int32_t(line), bank[high]);
        }
    }
    mode1_line_counter = next_line_count(mode1_line_counter);
}

// BG2 with one-byte map entries, each the tile number itself, 64 to a map
// row whatever size the control register names.
void render_mode2() {
    uint16_t control = io_read16(BG2_CR);
    uint32_t line = mode2_line_counter;
    uint32_t tiles = char_base(control);
    uint32_t map_row = map_base(control) + BYTE_MAP_ROW_ENTRIES * (line / TILE_SIZE);
    for (int i = 0; i < BYTE_ENTRIES_PER_LINE; i++) {
        uint32_t tile = vram[map_row + i];
        uint32_t row = tiles + TILE_BYTES_8BIT * tile + TILE_SIZE * (line % TILE_SIZE);
        draw_row_8bit(vram + row, TILE_SIZE * i, int32_t(line));
    }
    mode2_line_counter = next_line_count(mode2_line_counter);
}
