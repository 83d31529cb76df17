// The bitmap modes: mode 3's colour conversion and line addressing, mode
// 4's frame select and palette entry 0, written through the bus as a
// program writes them.
#include "video_fixture.h"

namespace {

class BitmapTest : public VideoTest {};

constexpr uint32_t VRAM = 0x06000000;
constexpr uint32_t PRAM = 0x05000000;

struct Conversion {
    uint16_t colour;  // console colour: red 0-4, green 5-9, blue 10-14
    uint32_t host;    // (c << 19) | ((c & 0x3E0) << 6) | ((c & 0x7C00) >> 7)
};

// Worked out bit by bit: red lands in 19-23, green in 11-15, blue in 3-7,
// and c << 19 also carries bits 5-12 of c into 24-31.
const Conversion conversions[] = {
    {0x001F, 0x00F80000},  // red
    {0x7FFF, 0xFFF8F8F8},  // white: bits 5-12 all set reach 24-31
    {0x0000, 0x00000000},  // black is host colour 0, drawn, not transparent
    {0x03E0, 0x1F00F800},  // green: 0x3E0 << 19 = 0x1F000000
    {0x7C00, 0xE00000F8},  // blue: bits 10-12 reach 29-31
    {0x8000, 0x00000000},  // bit 15 has no effect
    {0x0421, 0x21080808},  // lowest bit of each; << 19 also moves bits 5, 10 to 24, 29
};

TEST_F(BitmapTest, Mode3ConvertsEachHalfwordOfItsLine) {
    const int line = 37;
    mode3_line_counter = line;
    int n = sizeof conversions / sizeof conversions[0];
    for (int i = 0; i < n; i++) {
        mem_write16(VRAM + 2 * (240 * line + i), conversions[i].colour);
        mem_write16(VRAM + 2 * (240 * line + 239 - i), conversions[i].colour);
    }
    render_mode3();
    for (int i = 0; i < n; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(pixel(i, line), conversions[i].host);
        EXPECT_EQ(pixel(239 - i, line), conversions[i].host);
    }
    EXPECT_EQ(pixel(120, line), 0u);  // every pixel of the line is written
    EXPECT_EQ(pixel(0, line - 1), UNTOUCHED);
    EXPECT_EQ(pixel(0, line + 1), UNTOUCHED);
    EXPECT_EQ(mode3_line_counter, line + 1);
}

TEST_F(BitmapTest, Mode4DrawsTheSelectedFrameAndPaletteEntryZero) {
    const uint16_t colours[4] = {0x7FFF, 0x001F, 0x03E0, 0x7C00};
    for (uint32_t v = 0; v < 4; v++) mem_write16(PRAM + 2 * v, colours[v]);
    const int line = 5;
    mem_write16(VRAM + 240 * line, 0x0201);           // frame 0: indices 1, 2
    mem_write16(VRAM + 0xA000 + 240 * line, 0x0003);  // frame 1: indices 3, 0

    struct Case {
        uint16_t disp_cr;
        uint32_t first, second, third;
    } cases[] = {
        {0x0004, 0x00F80000, 0x1F00F800, 0xFFF8F8F8},  // frame 0; index 0 is white
        {0x0014, 0xE00000F8, 0xFFF8F8F8, 0xFFF8F8F8},  // bit 4: frame at 0xA000
        {0x1F84, 0x00F80000, 0x1F00F800, 0xFFF8F8F8},  // enables and other bits: frame 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.disp_cr);
        fill_picture(UNTOUCHED);
        mode4_line_counter = line;
        io_write16(DISP_CR, c.disp_cr);
        render_mode4();
        EXPECT_EQ(pixel(0, line), c.first);
        EXPECT_EQ(pixel(1, line), c.second);
        EXPECT_EQ(pixel(2, line), c.third);
        EXPECT_EQ(pixel(239, line), 0xFFF8F8F8u);
        EXPECT_EQ(pixel(0, line + 1), UNTOUCHED);
    }
}

// A picture whose rows are longer than 240 pixels, as a window surface's
// may be: rows start every `pitch` bytes and the padding stays untouched.
TEST_F(BitmapTest, RowsFollowThePitch) {
    static uint32_t wide[256 * 160];
    for (uint32_t& p : wide) p = UNTOUCHED;
    screen.pixels = wide;
    screen.pitch = 256 * 4;
    host_palette[9] = mark(9);
    std::memset(vram, 9, 240 * 160);  // mode 4 frame 0, every index 9
    draw_lines(render_mode4, 160);
    for (int y = 0; y < 160; y++)
        for (int x = 0; x < 256; x++)
            ASSERT_EQ(wide[256 * y + x], x < 240 ? mark(9) : UNTOUCHED) << x << "," << y;
    screen.pixels = test_picture;
}

}  // namespace
