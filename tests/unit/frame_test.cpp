// The scanline loop as the processor observes it: a stand-in processor
// records DISP_Y, DISP_SR and the budget it was given at every call; the
// budget rule itself is tested against real instructions (cpu_run_test).
#include <vector>

#include "console_fixture.h"

namespace {

struct Observation {
    uint16_t line;
    uint16_t status;
    uint32_t budget, extra;
};

std::vector<Observation> observed;

void observing_run(uint32_t budget, uint32_t extra) {
    observed.push_back({io_read16(DISP_Y), io_read16(DISP_SR), budget, extra});
}

class FrameTest : public ConsoleTest {
   protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        observed.clear();
        processor_run = observing_run;
    }
};

// Each visible line: 1004 cycles with no flag, then 228 cycles with the
// h-blank flag and 2 extra per step; each v-blank line 1232 cycles with the
// v-blank flag.
TEST_F(FrameTest, ProcessorSeesLineAndBlankFlagsAtEachMoment) {
    frame_run();
    ASSERT_EQ(observed.size(), 160u * 2 + 68u);
    size_t i = 0;
    for (uint16_t line = 0; line < 160; line++) {
        const Observation& visible = observed[i++];
        EXPECT_EQ(visible.line, line);
        EXPECT_EQ(visible.status & 3, 0);
        EXPECT_EQ(visible.budget, 1004u);
        EXPECT_EQ(visible.extra, 0u);
        const Observation& hblank = observed[i++];
        EXPECT_EQ(hblank.line, line);
        EXPECT_EQ(hblank.status & 3, DISP_SR_HBLANK);
        EXPECT_EQ(hblank.budget, 228u);
        EXPECT_EQ(hblank.extra, 2u);
    }
    for (uint16_t line = 160; line < 228; line++) {
        const Observation& vblank = observed[i++];
        EXPECT_EQ(vblank.line, line);
        EXPECT_EQ(vblank.status & 3, DISP_SR_VBLANK);
        EXPECT_EQ(vblank.budget, 1232u);
        EXPECT_EQ(vblank.extra, 0u);
    }
    EXPECT_EQ(io_read16(DISP_Y), 228);  // the next frame starts again from 0
    observed.clear();
    frame_run();
    EXPECT_EQ(observed.front().line, 0);
    EXPECT_EQ(observed.front().status & 3, 0);
}

TEST_F(FrameTest, ClearingTheFlagsKeepsTheOtherStatusBits) {
    io_write16(DISP_SR, 0xFF3C | DISP_SR_VBLANK);
    frame_run();
    for (const Observation& o : observed) ASSERT_EQ(o.status & 0xFFFC, 0xFF3C);
}

// A load resets the processor but leaves the scanline state to the loop.
TEST_F(FrameTest, FramesRunAfterALoadWithTheInterpreter) {
    load_test_image({});
    EXPECT_EQ(cpu_method, Method::Interpretative);
    EXPECT_FALSE(in_thumb_state());
    EXPECT_EQ(cpu_regs[15], 0x08000008u);
}

}  // namespace
