// The sprite pass: all 128 entries in order, 8 x 8 tiles of 8-bit pixels
// from vram 0x10000, the object half of the palette, only the low bits of
// each attribute, and clipping at the right and bottom edges.
#include "video_fixture.h"

namespace {

constexpr uint32_t OBJ_TILES = 0x10000;

class SpriteTest : public VideoTest {
   protected:
    void SetUp() override {
        VideoTest::SetUp();
        mark_palette();
    }
    static void entry(int n, uint16_t attr0, uint16_t attr1, uint16_t attr2) {
        const uint16_t attrs[3] = {attr0, attr1, attr2};
        for (int i = 0; i < 3; i++) {
            oam[8 * n + 2 * i] = uint8_t(attrs[i]);
            oam[8 * n + 2 * i + 1] = uint8_t(attrs[i] >> 8);
        }
    }
    // Every entry at (200, 100) showing tile 0, then tile 0 left empty.
    static void park_all_entries() {
        for (int n = 0; n < 128; n++) entry(n, 100, 200, 0);
    }
    static void fill_tile(uint32_t tile, uint8_t value) {
        std::memset(vram + OBJ_TILES + 64 * tile, value, 64);
    }
};

TEST_F(SpriteTest, ZeroFilledOamDrawsTileZeroAtTheOrigin) {
    vram[OBJ_TILES + 0] = 5;            // (0, 0)
    vram[OBJ_TILES + 8 * 7 + 7] = 6;    // (7, 7)
    vram[OBJ_TILES + 8 * 2 + 3] = 255;  // (3, 2): object entry 511
    draw_sprites();
    EXPECT_EQ(pixel(0, 0), mark(256 + 5));
    EXPECT_EQ(pixel(7, 7), mark(256 + 6));
    EXPECT_EQ(pixel(3, 2), mark(511));
    EXPECT_EQ(pixel(1, 0), UNTOUCHED);
    EXPECT_EQ(pixel(8, 0), UNTOUCHED);
    EXPECT_EQ(pixel(0, 8), UNTOUCHED);
}

TEST_F(SpriteTest, AnAllZeroTileDrawsNothing) {
    draw_sprites();
    for (uint32_t p : test_picture) ASSERT_EQ(p, UNTOUCHED);
}

TEST_F(SpriteTest, HigherEntriesLieOnTop) {
    park_all_entries();
    fill_tile(1, 1);
    for (int p = 0; p < 64; p += 2) vram[OBJ_TILES + 64 * 2 + p] = 2;  // odd pixels clear
    entry(3, 30, 20, 2);
    entry(10, 30, 20, 1);  // covers entry 3 everywhere
    entry(40, 50, 60, 1);
    entry(41, 50, 60, 2);  // entry 40 shows through its holes
    draw_sprites();
    for (int c = 0; c < 8; c++) {
        EXPECT_EQ(pixel(20 + c, 30), mark(257));
        EXPECT_EQ(pixel(60 + c, 50), mark(c % 2 == 0 ? 258 : 257));
    }
}

// Only bits 0-7 of attributes 0 and 1 and bits 0-8 of attribute 2 count:
// x 256 + 10 is x 10; the disable, shape and palette bits change nothing.
TEST_F(SpriteTest, AttributesUseOnlyTheirLowBits) {
    park_all_entries();
    fill_tile(1, 9);
    fill_tile(257, 12);
    struct Case {
        uint16_t attr0, attr1, attr2;
        int x, y;
        uint32_t colour;
    } cases[] = {
        {20, 256 + 10, 1, 10, 20, mark(256 + 9)},
        {0xFF00 | 40, 0xFE00 | 30, 0xFE00 | 1, 30, 40, mark(256 + 9)},
        {60, 50, 257, 50, 60, mark(256 + 12)},
    };
    for (int i = 0; i < 3; i++) entry(i, cases[i].attr0, cases[i].attr1, cases[i].attr2);
    draw_sprites();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(pixel(c.x, c.y), c.colour);
        EXPECT_EQ(pixel(c.x + 7, c.y + 7), c.colour);
        EXPECT_EQ(pixel(c.x - 1, c.y), UNTOUCHED);
        EXPECT_EQ(pixel(c.x + 8, c.y + 7), UNTOUCHED);
    }
}

// Sprites at x or y up to 255 reach 262; a picture with padded rows and a
// spare row below shows that nothing beyond 240 x 160 is written.
TEST_F(SpriteTest, SpritesAreClippedAtTheRightAndBottomEdges) {
    static uint32_t wide[272 * 170];
    for (uint32_t& p : wide) p = UNTOUCHED;
    screen.pixels = wide;
    screen.pitch = 272 * 4;
    fill_tile(0, 3);
    park_all_entries();
    entry(0, 156, 236, 0);  // 4 x 4 inside
    entry(1, 255, 255, 0);  // wholly outside
    entry(2, 10, 239, 0);   // one column inside
    entry(3, 159, 10, 0);   // one row inside
    entry(4, 200, 100, 0);  // below the picture
    entry(5, 100, 0, 0);
    for (int n = 6; n < 128; n++) entry(n, 255, 255, 0);
    draw_sprites();
    screen.pixels = test_picture;
    auto drawn = [](int x, int y) {
        auto in = [&](int left, int top) {
            return x >= left && x < left + 8 && y >= top && y < top + 8;
        };
        bool inside = x < 240 && y < 160;
        return inside && (in(236, 156) || in(239, 10) || in(10, 159) || in(0, 100));
    };
    for (int y = 0; y < 170; y++)
        for (int x = 0; x < 272; x++)
            ASSERT_EQ(wide[272 * y + x], drawn(x, y) ? mark(256 + 3) : UNTOUCHED) << x << "," << y;
}

void idle_run(uint32_t, uint32_t) {}

// The pass runs only when DISP_CR bit 12 is set at the end of the frame.
TEST_F(SpriteTest, DisplayControlBit12GatesThePass) {
    processor_run = idle_run;
    fill_tile(0, 7);
    for (uint16_t disp_cr : {uint16_t(0x0005), uint16_t(0x0F05), uint16_t(0x1005)}) {
        SCOPED_TRACE(disp_cr);
        fill_picture(UNTOUCHED);
        io_write16(DISP_CR, disp_cr);  // mode 5: no background drawn
        frame_run();
        EXPECT_EQ(pixel(0, 0), (disp_cr & 0x1000) ? mark(256 + 7) : UNTOUCHED);
        EXPECT_EQ(pixel(8, 0), UNTOUCHED);
    }
}

}  // namespace
