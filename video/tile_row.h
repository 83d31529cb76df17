// One row of an 8 x 8 tile of one-byte pixels drawn over the picture: the
// primitive that the 8-bit tiled modes and the sprite pass share. Callers
// clip: they pass a row pointer inside the picture and the number of
// pixels, at most 8, that lie inside it.
#pragma once

#include <cstdint>
#include <cstring>

constexpr int TILE_SIZE = 8;

// Pixel value 0 is transparent (the picture keeps what it held); any other
// value v is drawn as palette[v]. The test of all eight bytes at once skips
// the rows of empty tiles, which are most of a sparse layer; reading all
// eight is safe because a tile row always holds eight bytes.
inline void draw_tile_row(const uint8_t* pixels, int count, const uint32_t* palette,
                          uint32_t* out) {
    uint64_t all;
    std::memcpy(&all, pixels, sizeof all);
    if (all == 0) return;
    // Non-zero exactly when some byte is zero: with every byte at least 1,
    // subtracting 1 from each borrows nowhere and sets no top bit that was
    // clear, while the lowest zero byte turns into 0xFF. Such a row is
    // opaque, and written without a test per pixel.
    constexpr uint64_t ONES = 0x0101010101010101, TOPS = 0x8080808080808080;
    if (((all - ONES) & ~all & TOPS) == 0) {
        for (int j = 0; j < count; j++) out[j] = palette[pixels[j]];
        return;
    }
    for (int j = 0; j < count; j++)
        if (pixels[j] != 0) out[j] = palette[pixels[j]];
}
