// The tiled modes: map and character addressing, transparency, ignored map
// bits, mode 1's nibble order and palette banks, and clipping of the 31st
// map entry at the right edge.
#include "video_fixture.h"

namespace {

class TiledTest : public VideoTest {
   protected:
    void SetUp() override {
        VideoTest::SetUp();
        mark_palette();
    }
};

// BG0_CR 0x0204: character base 1 (0x4000), map base 2 (0x1000); bit 7
// clear names 16 colours, yet mode 0 tiles hold a byte per pixel.
TEST_F(TiledTest, Mode0DrawsEightBitTilesFromTheMap) {
    io_write16(BG0_CR, 0x0204);
    for (int p = 0; p < 64; p++) vram8(0x4000 + 64 * 3 + p, uint8_t(p));  // tile 3: pixel p = p
    fill_vram(0x4000 + 64 * 5, 64, 7);                                    // tile 5: all 7
    vram16(0x1000 + 2 * 0, 3);
    vram16(0x1000 + 2 * 1, 0xFC03);     // tile 3 with flip and bank bits: drawn the same
    vram16(0x1000 + 2 * 2, 0x0400);     // tile 0 (all zero), flip bit set: transparent
    vram16(0x1000 + 2 * (32 + 29), 5);  // map row 1 starts 32 entries on
    draw_lines(render_mode0, 16);

    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            uint32_t v = uint32_t(8 * y + x);
            uint32_t expected = v == 0 ? UNTOUCHED : mark(v);
            EXPECT_EQ(pixel(x, y), expected);
            EXPECT_EQ(pixel(8 + x, y), expected);
            EXPECT_EQ(pixel(16 + x, y), UNTOUCHED);
            EXPECT_EQ(pixel(232 + x, y + 8), mark(7));
            EXPECT_EQ(pixel(224 + x, y + 8), UNTOUCHED);
        }
    EXPECT_EQ(mode0_line_counter, 16);
}

// BG2_CR 0xC408: character base 2 (0x8000), map base 4 (0x2000), size bits
// set: one-byte map entries, 64 to a row whatever the size.
TEST_F(TiledTest, Mode2DrawsOneByteMapEntries) {
    io_write16(BG2_CR, 0xC408);
    fill_vram(0x8000 + 64 * 200, 64, 0x11);
    vram8(0x8000 + 64 * 200 + 8 * 2 + 3, 0);  // a hole in row 2
    vram8(0x2000 + 64 * 1 + 29, 200);         // map row 1, last entry on the line
    vram8(0x2000 + 64 * 0 + 0, 200);
    draw_lines(render_mode2, 16);
    EXPECT_EQ(pixel(0, 0), mark(0x11));
    EXPECT_EQ(pixel(7, 7), mark(0x11));
    EXPECT_EQ(pixel(3, 2), UNTOUCHED);
    EXPECT_EQ(pixel(8, 0), UNTOUCHED);
    EXPECT_EQ(pixel(232, 8), mark(0x11));
    EXPECT_EQ(pixel(235, 10), UNTOUCHED);
    EXPECT_EQ(pixel(239, 15), mark(0x11));
    EXPECT_EQ(pixel(0, 8), UNTOUCHED);
}

// BG0_CR 0x0304: character base 1 (0x4000), map base 3 (0x1800). Tile 2 at
// 0x4000 + 32 x 2; row r at + 4r; byte k: pixel 2k low nibble, 2k+1 high.
TEST_F(TiledTest, Mode1ReadsLowNibbleFirstAndThePaletteBank) {
    io_write16(BG0_CR, 0x0304);
    const uint8_t row0[4] = {0x21, 0x43, 0x65, 0x87};  // pixels 1, 2, ..., 8
    const uint8_t row1[4] = {0x00, 0xF0, 0x0E, 0x00};  // pixel 3 = 15, pixel 4 = 14
    for (int k = 0; k < 4; k++) {
        vram8(0x4040 + k, row0[k]);
        vram8(0x4040 + 4 + k, row1[k]);
    }
    fill_vram(0x4000 + 32 * 9, 32, 0x11);   // tile 9, map row 1
    vram16(0x1800 + 0, 0x3002);             // bank 3, tile 2
    vram16(0x1800 + 2, 0x0C02);             // bank 0, flip bits: drawn unflipped
    vram16(0x1800 + 2 * (32 + 1), 0xF009);  // bank 15 on map row 1
    draw_lines(render_mode1, 9);

    for (int x = 0; x < 8; x++) {
        SCOPED_TRACE(x);
        EXPECT_EQ(pixel(x, 0), mark(48 + x + 1));
        EXPECT_EQ(pixel(8 + x, 0), mark(x + 1));
        if (x != 3 && x != 4) {
            EXPECT_EQ(pixel(x, 1), UNTOUCHED);
        }
        EXPECT_EQ(pixel(8 + x, 8), mark(240 + 1));
        EXPECT_EQ(pixel(x, 2), UNTOUCHED);  // row 2 of tile 2 is zero
    }
    EXPECT_EQ(pixel(3, 1), mark(48 + 15));
    EXPECT_EQ(pixel(4, 1), mark(48 + 14));
    EXPECT_EQ(pixel(16, 0), UNTOUCHED);
    EXPECT_EQ(pixel(0, 8), UNTOUCHED);
}

// Where the tiles of this frame are transparent, last frame's pixels stay.
TEST_F(TiledTest, TransparentPixelsKeepThePreviousFrame) {
    io_write16(BG0_CR, 0x0800);                            // tiles at 0, map base 8 (0x4000)
    fill_vram(64 * 1, 64, 4);                              // tile 1: all 4
    for (int p = 0; p < 64; p += 2) vram8(64 * 2 + p, 6);  // tile 2: 6, odd pixels 0
    for (int i = 0; i < 32 * 20; i++) vram16(0x4000 + 2 * i, 1);
    draw_lines(render_mode0, 160);
    EXPECT_EQ(pixel(100, 100), mark(4));
    for (int i = 0; i < 32 * 20; i++) vram16(0x4000 + 2 * i, 2);
    draw_lines(render_mode0, 160);
    EXPECT_EQ(pixel(100, 100), mark(6));
    EXPECT_EQ(pixel(101, 100), mark(4));
    EXPECT_EQ(pixel(239, 159), mark(4));
    EXPECT_EQ(pixel(238, 159), mark(6));
}

// A picture 256 pixels wide: x 240-247 of the 31st map entry would land in
// the padding (or, at pitch 240, on the next row) if not dropped.
TEST_F(TiledTest, TheThirtyFirstMapEntryIsClippedAtTheRightEdge) {
    static uint32_t wide[256 * 161];
    struct Case {
        const char* name;
        LineRenderer renderer;
        uint16_t control_offset;
    } cases[] = {{"mode 0", render_mode0, BG0_CR},
                 {"mode 1", render_mode1, BG0_CR},
                 {"mode 2", render_mode2, BG2_CR}};
    std::memset(vram, 0, 0x10000);
    fill_vram(0x4000, 64 * 2, 0x33);  // tiles 0 and 1 (8-bit), 0..3 (4-bit)
    for (int i = 0; i < 32 * 20; i++) vram16(0x0800 + 2 * i, 1);  // map base 1
    io_write16(BG0_CR, 0x0104);
    io_write16(BG2_CR, 0x0104);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (uint32_t& p : wide) p = UNTOUCHED;
        screen.pixels = wide;
        screen.pitch = 256 * 4;
        draw_lines(c.renderer, 160);
        screen.pixels = test_picture;
        for (int y = 0; y < 161; y++)
            for (int x = 0; x < 256; x++) {
                bool inside = x < 240 && y < 160;
                ASSERT_EQ(wide[256 * y + x] != UNTOUCHED, inside) << x << "," << y;
            }
    }
    // At pitch 240 the same pixels would reach row y + 1, x 0-7.
    fill_picture(UNTOUCHED);
    vram16(0x0800 + 2 * 30, 1);
    for (int i = 0; i < 30; i++) vram16(0x0800 + 2 * i, 0x3FF);  // tile 1023: zero
    std::memset(vram + 0x4000 + 64 * 1023, 0, 64);
    draw_lines(render_mode0, 8);
    for (int y = 0; y < 9; y++) EXPECT_EQ(pixel(0, y), UNTOUCHED) << y;
}

}  // namespace
