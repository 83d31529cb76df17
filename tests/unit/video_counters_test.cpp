// The line counters: each drawing renderer numbers its lines by its own
// calls, wraps after 159, and keeps its count across mode changes; modes
// 5-7 draw nothing and move no counter. Whole frames run through frame_run
// with a stand-in processor, so only the video side is under test.
#include "video_fixture.h"

namespace {

uint16_t* const counters[5] = {&mode0_line_counter, &mode1_line_counter, &mode2_line_counter,
                               &mode3_line_counter, &mode4_line_counter};

// Stand-in processor: at `switch_line` (while DISP_Y shows it) writes
// `switch_to` into DISP_CR, as a program polling DISP_Y would.
int switch_line = -1;
uint16_t switch_to = 0;
void scripted_run(uint32_t, uint32_t) {
    if (io_read16(DISP_Y) == switch_line) io_write16(DISP_CR, switch_to);
}

class CounterTest : public VideoTest {
   protected:
    void SetUp() override {
        VideoTest::SetUp();
        mark_palette();
        switch_line = -1;
        processor_run = scripted_run;
        // Every byte of the first 80 KB 0x21: every mode draws every pixel
        // (maps name tile 0x121 or 0x21, whose pixels are all non-zero;
        // mode 3 colours are 0x2121, mode 4 indices 0x21).
        io_write16(BG0_CR, 0x0804);
        io_write16(BG2_CR, 0x0804);
        std::memset(vram, 0x21, 0x14000);  // mode 3's frame is 0x12C00 bytes
    }
    void run_frame(uint16_t disp_cr) {
        io_write16(DISP_CR, disp_cr);
        frame_run();
    }
};

TEST_F(CounterTest, EachRendererWrapsAfterLine159) {
    for (int mode = 0; mode < 5; mode++) {
        SCOPED_TRACE(mode);
        fill_picture(UNTOUCHED);
        *counters[mode] = 158;
        io_write16(DISP_CR, uint16_t(mode));
        draw_lines(line_renderers[mode], 3);  // lines 158, 159, then 0
        EXPECT_NE(pixel(5, 158), UNTOUCHED);
        EXPECT_NE(pixel(5, 159), UNTOUCHED);
        EXPECT_NE(pixel(5, 0), UNTOUCHED);
        EXPECT_EQ(pixel(5, 1), UNTOUCHED);
        EXPECT_EQ(pixel(5, 157), UNTOUCHED);
        EXPECT_EQ(*counters[mode], 1);
    }
}

TEST_F(CounterTest, ModesFiveToSevenLeaveThePictureAndEveryCounterAlone) {
    const uint16_t start[5] = {3, 17, 42, 99, 158};
    for (int i = 0; i < 5; i++) *counters[i] = start[i];
    for (uint16_t mode = 5; mode < 8; mode++) {
        SCOPED_TRACE(mode);
        run_frame(uint16_t(mode | 0x0F00));  // every background enabled
        for (int i = 0; i < 5; i++) EXPECT_EQ(*counters[i], start[i]);
        for (int y = 0; y < SCREEN_HEIGHT; y += 7)
            for (int x = 0; x < SCREEN_WIDTH; x += 3) ASSERT_EQ(pixel(x, y), UNTOUCHED);
    }
}

// Mode 3 draws lines 0-79, then the program switches to mode 4, whose own
// counter starts at 0: it draws lines 0-79 again over mode 3's and leaves
// 80-159 as they were. The next frame, all in mode 3, starts at mode 3's
// line 80 and wraps, ending at 80 again.
TEST_F(CounterTest, AModeChangeMidFrameLeavesBothCountersPartWay) {
    fill_picture(0);
    // Halfword 0x2121 in mode 3: red 1 -> 0x00080000, green 9 -> 0x4800,
    // blue 8 -> 0x40, and c << 19 also carries bit 5 and bit 8 to 24 and 27.
    const uint32_t expected3 = 0x09084840;

    switch_line = 80;
    switch_to = 4;
    run_frame(3);
    EXPECT_EQ(mode3_line_counter, 80);
    EXPECT_EQ(mode4_line_counter, 80);
    for (int y = 0; y < 160; y++) ASSERT_EQ(pixel(17, y), y < 80 ? mark(0x21) : 0u) << y;

    switch_line = -1;
    run_frame(3);
    EXPECT_EQ(mode3_line_counter, 80);
    EXPECT_EQ(mode4_line_counter, 80);
    for (int y = 0; y < 160; y++) ASSERT_EQ(pixel(17, y), expected3) << y;
}

}  // namespace
