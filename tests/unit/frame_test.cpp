// The scanline loop as the processor observes it, through a scripted step
// function that records DISP_Y and DISP_SR at every step.
#include <vector>

#include "console_fixture.h"

namespace {

struct Observation {
    uint16_t line;
    uint16_t status;
};

std::vector<Observation> observed;
uint32_t scripted_cycles = 2;
uint32_t hblank_cycles = 2;

uint32_t observing_step() {
    observed.push_back({io_read16(DISP_Y), io_read16(DISP_SR)});
    return (io_read16(DISP_SR) & DISP_SR_HBLANK) ? hblank_cycles : scripted_cycles;
}

class FrameTest : public ConsoleTest {
   protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        observed.clear();
        scripted_cycles = hblank_cycles = 2;
        cpu_step = observing_step;
    }
};

// With 2 cycles per step: 502 steps fill the visible 1004, 57 steps of
// 2 + 2 fill the h-blank 228, 616 steps fill a v-blank line's 1232.
TEST_F(FrameTest, ProcessorSeesLineAndBlankFlagsAtEachMoment) {
    frame_run();
    ASSERT_EQ(observed.size(), 160u * (502 + 57) + 68u * 616);
    size_t i = 0;
    for (uint16_t line = 0; line < 160; line++) {
        for (int s = 0; s < 502; s++, i++) {
            ASSERT_EQ(observed[i].line, line);
            ASSERT_EQ(observed[i].status & 3, 0);
        }
        for (int s = 0; s < 57; s++, i++) {
            ASSERT_EQ(observed[i].line, line);
            ASSERT_EQ(observed[i].status & 3, DISP_SR_HBLANK);
        }
    }
    for (uint16_t line = 160; line < 228; line++) {
        for (int s = 0; s < 616; s++, i++) {
            ASSERT_EQ(observed[i].line, line);
            ASSERT_EQ(observed[i].status & 3, DISP_SR_VBLANK);
        }
    }
    EXPECT_EQ(io_read16(DISP_Y), 228);  // the next frame starts again from 0
    observed.clear();
    frame_run();
    EXPECT_EQ(observed.front().line, 0);
    EXPECT_EQ(observed.front().status & 3, 0);
}

TEST_F(FrameTest, HblankStepsCostTwoExtraCyclesAndOnlyLowBitsCount) {
    struct Case {
        uint32_t cycles, hblank;
        size_t visible_steps, hblank_steps;
    } cases[] = {
        {1, 1, 1004, 76},           // h-blank: 1 + 2 = 3 per step, 76 x 3 = 228
        {2, 0, 502, 114},           // 0 cycles still count 2 in h-blank
        {0x10002, 0x10002, 502, 57},  // upper 16 bits carry no meaning
        {1000, 1000, 2, 1},         // overshoot is not carried over
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cycles);
        observed.clear();
        scripted_cycles = c.cycles;
        hblank_cycles = c.hblank;
        frame_run();
        size_t hblank = 0, visible = 0;
        for (const Observation& o : observed) {
            if (o.line != 0) break;
            (o.status & DISP_SR_HBLANK ? hblank : visible)++;
        }
        EXPECT_EQ(visible, c.visible_steps);
        EXPECT_EQ(hblank, c.hblank_steps);
    }
}

TEST_F(FrameTest, ClearingTheFlagsKeepsTheOtherStatusBits) {
    io_write16(DISP_SR, 0xFF3C | DISP_SR_VBLANK);
    frame_run();
    for (const Observation& o : observed) ASSERT_EQ(o.status & 0xFFFC, 0xFF3C);
}

// A load resets the processor but leaves the scanline state to the loop.
TEST_F(FrameTest, FramesRunAfterALoadWithTheInterpreter) {
    load_test_image({});
    EXPECT_EQ(cpu_step, arm_step);
    EXPECT_EQ(cpu_regs[15], 0x08000008u);
}

}  // namespace
