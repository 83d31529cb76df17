// The tiled modes: an unscrolled grid of 8 x 8 tiles, one map entry per
// tile, drawn a line at a time. Pixel value 0 is transparent: the picture
// keeps what it held there (it is never cleared between frames). Only the
// character base (bits 2-3) and map base (bits 8-12) of the layer's control
// register are used; scrolling, priority, size and flips are not.
//
// A line is 30 tiles wide. The text modes' map rows give a 31st entry, which
// covers x 240-247: none of its pixels lie in the picture, so it is not
// drawn at all, and no other tile needs clipping.
#include "memory/memory.h"
#include "video/tile_row.h"
#include "video/video.h"

uint16_t mode0_line_counter = 0;
uint16_t mode1_line_counter = 0;
uint16_t mode2_line_counter = 0;

namespace {

constexpr uint32_t CHAR_BASE_UNIT = 0x4000;
constexpr uint32_t MAP_BASE_UNIT = 0x800;
constexpr uint32_t TEXT_MAP_ROW_ENTRIES = 32;  // a map row of 16-bit entries
constexpr uint32_t BYTE_MAP_ROW_ENTRIES = 64;  // a map row of one-byte entries
constexpr int TILES_PER_LINE = SCREEN_WIDTH / TILE_SIZE;
constexpr uint32_t TILE_BYTES_8BIT = 64;
constexpr uint32_t TILE_BYTES_4BIT = 32;

//  control register:  15     13 12        8 7 6   4 3  2 1  0
//                    [ ...     | map base  |  ...   |char| ... ]
uint32_t char_base(uint16_t control) { return ((control >> 2) & 3) * CHAR_BASE_UNIT; }
uint32_t map_base(uint16_t control) { return ((control >> 8) & 0x1F) * MAP_BASE_UNIT; }

// The map row of 16-bit entries that holds line `line`.
const uint8_t* text_map_row(uint16_t control, uint32_t line) {
    return vram + map_base(control) + 2 * TEXT_MAP_ROW_ENTRIES * (line / TILE_SIZE);
}

// Row `line % 8` of character tile 0; tile t's row lies t tiles further on.
const uint8_t* first_tile_row(uint16_t control, uint32_t line, uint32_t row_bytes) {
    return vram + char_base(control) + row_bytes * (line % TILE_SIZE);
}

// A row of 4-bit pixels is a little-endian word with pixel j in bits
// 4j-4j+3 (byte k holds pixel 2k in its low nibble, 2k + 1 in its high
// nibble). Nibble 0 is transparent; any other nibble n is bank[n].
void draw_tile_row_4bit(const uint8_t* pixels, const uint32_t* bank, uint32_t* out) {
    uint32_t row = load_le32(pixels);
    if (row == 0) return;
    // No nibble is zero (the test of draw_tile_row, a nibble at a time):
    // an opaque row, written without a test per pixel.
    if (((row - 0x11111111) & ~row & 0x88888888) == 0) {
        for (int j = 0; j < TILE_SIZE; j++, row >>= 4) out[j] = bank[row & 0xF];
        return;
    }
    for (int j = 0; j < TILE_SIZE; j++, row >>= 4)
        if ((row & 0xF) != 0) out[j] = bank[row & 0xF];
}

}  // namespace

//  map entry:  15  12 11 10 9                0
//             [ bank | flips|   tile number   ]     bank and flips unused
void render_mode0() {
    uint16_t control = io_read16(BG0_CR);
    uint32_t line = mode0_line_counter;
    const uint8_t* map = text_map_row(control, line);
    const uint8_t* tiles = first_tile_row(control, line, TILE_SIZE);
    uint32_t* out = picture_row(line);
    for (int i = 0; i < TILES_PER_LINE; i++, out += TILE_SIZE) {
        uint32_t tile = load_le16(map + 2 * i) & 0x3FF;
        draw_tile_row(tiles + TILE_BYTES_8BIT * tile, TILE_SIZE, host_palette, out);
    }
    mode0_line_counter = next_line_count(mode0_line_counter);
}

// 4-bit tiles as the console lays them out: 32 bytes a tile, 4 bytes a
// row. Nibble n of a tile under palette bank p is colour 16p + n.
//
//  map entry:  15  12 11 10 9                0
//             [ bank | flips|   tile number   ]     flips unused
void render_mode1() {
    uint16_t control = io_read16(BG0_CR);
    uint32_t line = mode1_line_counter;
    const uint8_t* map = text_map_row(control, line);
    const uint8_t* tiles = first_tile_row(control, line, TILE_BYTES_4BIT / TILE_SIZE);
    uint32_t* out = picture_row(line);
    for (int i = 0; i < TILES_PER_LINE; i++, out += TILE_SIZE) {
        uint16_t entry = load_le16(map + 2 * i);
        const uint32_t* bank = host_palette + 16 * (entry >> 12);
        draw_tile_row_4bit(tiles + TILE_BYTES_4BIT * (entry & 0x3FF), bank, out);
    }
    mode1_line_counter = next_line_count(mode1_line_counter);
}

// BG2 with one-byte map entries, each the tile number itself, 64 to a map
// row whatever size the control register names.
void render_mode2() {
    uint16_t control = io_read16(BG2_CR);
    uint32_t line = mode2_line_counter;
    const uint8_t* map = vram + map_base(control) + BYTE_MAP_ROW_ENTRIES * (line / TILE_SIZE);
    const uint8_t* tiles = first_tile_row(control, line, TILE_SIZE);
    uint32_t* out = picture_row(line);
    for (int i = 0; i < TILES_PER_LINE; i++, out += TILE_SIZE)
        draw_tile_row(tiles + TILE_BYTES_8BIT * map[i], TILE_SIZE, host_palette, out);
    mode2_line_counter = next_line_count(mode2_line_counter);
}
