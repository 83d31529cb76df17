// Switching between the methods and instruction sets: F6/F5 at step
// boundaries, BX into Thumb code out of a block and back with the choice
// kept, F6 and F5 in Thumb state, a software interrupt inside a block, and a
// cartridge load.
#include <gtest/gtest.h>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"
#include "shell/keys.h"
#include "shell/main_loop.h"

#if defined(__x86_64__) || defined(__i386__)

namespace {

void press(int key) {
    handle_event({EVENT_KEY_DOWN, key});
    handle_event({EVENT_KEY_UP, key});
}

// A counting loop: r0 counts iterations, r1 accumulates r0, forever.
const std::vector<uint32_t> COUNTING_LOOP = {
    0xE3A00000,  // MOV r0, #0
    0xE3A01000,  // MOV r1, #0
    0xE2800001,  // loop: ADD r0, r0, #1
    0xE0811000,  // ADD r1, r1, r0
    0xE3500A01,  // CMP r0, #0x1000
    0x1AFFFFFB,  // BNE loop
    0xEAFFFFFE,  // B .
};

class SwitchTest : public ConsoleTest {};

TEST_F(SwitchTest, F6AndF5MidRunGiveTheInterpretersResults) {
    load_test_image(COUNTING_LOOP);
    for (int i = 0; i < 200; i++) cpu_step();
    press(KEY_F6);
    EXPECT_EQ(cpu_method, Method::Dynarec);
    uint64_t translated = blocks_translated;
    for (int i = 0; i < 50; i++) cpu_step();
    EXPECT_GT(blocks_translated, translated);
    press(KEY_F5);
    EXPECT_EQ(cpu_method, Method::Interpretative);
    for (int i = 0; i < 300; i++) cpu_step();
    press(KEY_F6);
    while (fetch_word(cpu_regs[15] - 8) != 0xEAFFFFFE) cpu_step();
    EXPECT_EQ(cpu_regs[0], 0x1000u);
    EXPECT_EQ(cpu_regs[1], 0x1000u * 0x1001u / 2);
    press(KEY_F6);  // already Dynarec: nothing changes
    EXPECT_EQ(cpu_method, Method::Dynarec);
}

// ARM code at 0x08000000 enters Thumb code at 0x08000100, which adds and
// returns to ARM code at 0x08000020 through BX.
std::vector<uint32_t> interworking_program() {
    std::vector<uint32_t> words(0x200 / 4, 0);
    words[0] = 0xE3A00005;     // MOV r0, #5
    words[1] = 0xE59F100C;     // LDR r1, [pc, #12] (word 6: 0x08000101)
    words[2] = 0xE12FFF11;     // BX r1
    words[6] = 0x08000101;     // Thumb entry
    words[8] = 0xE2800064;     // 0x20: ADD r0, r0, #100
    words[9] = 0xEAFFFFFE;     // B .
    words[0x40] = 0x4A013003;  // 0x100: ADDS r0, #3; LDR r2, [pc, #4]
    words[0x41] = 0x46C04710;  // BX r2; NOP
    words[0x42] = 0x08000020;  // ARM return address
    return words;
}

TEST_F(SwitchTest, BxToThumbEndsTheBlockAndTheThumbCodeRunsTranslated) {
    load_test_image(interworking_program());
    press(KEY_F6);
    ASSERT_EQ(cpu_method, Method::Dynarec);
    uint64_t translated = blocks_translated;
    EXPECT_EQ(cpu_step() & 0xFFFF, 6u);  // MOV, LDR, BX: the block ends at the BX
    EXPECT_TRUE(in_thumb_state());
    EXPECT_EQ(cpu_regs[15], 0x08000104u);
    EXPECT_EQ(cpu_opcode, 0x3003u);
    EXPECT_EQ(dynarec_step(), 3u | 3u << 16);  // ADDS, LDR, BX: one Thumb block, 3 steps
    EXPECT_EQ(blocks_translated, translated + 2);
    EXPECT_FALSE(in_thumb_state());
    EXPECT_EQ(cpu_regs[15], 0x08000028u);
    EXPECT_EQ(cpu_opcode, 0xE2800064u);
    EXPECT_EQ(cpu_method, Method::Dynarec);
    cpu_step();
    EXPECT_EQ(blocks_translated, translated + 3);  // the ARM code after it
    EXPECT_EQ(cpu_regs[0], 108u);
}

// F6 pressed while Thumb code runs applies at once, to the Thumb code; F5
// there runs it on the interpreter.
TEST_F(SwitchTest, F6InThumbStateTranslatesTheThumbCode) {
    for (int key : {KEY_F6, KEY_F5}) {
        load_test_image(interworking_program());
        cpu_step();  // MOV
        cpu_step();  // LDR
        cpu_step();  // BX into Thumb code
        ASSERT_TRUE(in_thumb_state());
        press(key);
        EXPECT_EQ(cpu_method, key == KEY_F6 ? Method::Dynarec : Method::Interpretative);
        uint64_t translated = blocks_translated;
        for (int i = 0; i < 3 && in_thumb_state(); i++) cpu_step();
        ASSERT_FALSE(in_thumb_state());
        EXPECT_EQ(blocks_translated, translated + (key == KEY_F6 ? 1 : 0));
        cpu_step();  // ADD r0, r0, #100; B .
        EXPECT_EQ(cpu_regs[0], 108u);
        EXPECT_EQ(blocks_translated, translated + (key == KEY_F6 ? 2 : 0));
    }
}

// The frame loop keeps the choice across a trip through Thumb code too.
TEST_F(SwitchTest, WholeFramesKeepTheChoiceAcrossThumbCode) {
    load_test_image(interworking_program());
    dynarec_translate_after(1);  // each block runs once
    press(KEY_F6);
    uint64_t translated = blocks_translated;
    frame_run();
    EXPECT_EQ(cpu_regs[0], 108u);
    EXPECT_EQ(cpu_method, Method::Dynarec);
    EXPECT_FALSE(in_thumb_state());
    EXPECT_GE(blocks_translated, translated + 3);  // before, in and after the Thumb code
}

TEST_F(SwitchTest, SoftwareInterruptInABlockKeepsTheMethod) {
    load_test_image({0xE3A00001, 0xEF000000, 0xEAFFFFFE});  // MOV r0, #1; SWI 0; B .
    press(KEY_F6);
    EXPECT_EQ(cpu_step() & 0xFFFF, 4u);
    EXPECT_EQ(cpu_regs[15], 0x10u);  // at the vector, with r15 = 8 + 8
    EXPECT_EQ(cpu_cpsr & 0x1F, MODE_SVC);
    EXPECT_EQ(cpu_method, Method::Dynarec);
}

TEST_F(SwitchTest, LoadingACartridgeLeavesDynarec) {
    load_test_image(COUNTING_LOOP);
    press(KEY_F6);
    for (int i = 0; i < 10; i++) cpu_step();
    load_test_image(COUNTING_LOOP);
    EXPECT_EQ(cpu_method, Method::Interpretative);
    EXPECT_EQ(cpu_regs[15], 0x08000008u);
}

}  // namespace

#endif
