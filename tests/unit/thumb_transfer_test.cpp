// Thumb loads and stores: unaligned loads as the ARM7TDMI performs them, the
// register-offset halfword and signed forms, PUSH/POP in the STMFD layout and
// the block transfers with the base in the list.
#include <gtest/gtest.h>

#include "memory/memory.h"
#include "thumb_program.h"

namespace {

constexpr uint32_t DATA = 0x03000000;

class ThumbTransfer : public ConsoleTest {
   protected:
    // Bytes 11 22 33 44 55 66 77 88 at DATA.
    void fill_data() {
        mem_write32(DATA, 0x44332211);
        mem_write32(DATA + 4, 0x88776655);
    }
};

struct LoadCase {
    const char* text;
    uint16_t opcode;
    uint32_t r1, r2;  // base and offset register
    uint32_t r0_out;
};

TEST_F(ThumbTransfer, LoadsAtEveryAlignment) {
    const LoadCase cases[] = {
        {"LDR r0, [r1, #0] at +1 rotates by 8", 0x6808, DATA + 1, 0, 0x11443322},
        {"LDR r0, [r1, #4] at +4", 0x6848, DATA, 0, 0x88776655},
        {"LDR r0, [r1, r2] at +2 rotates by 16", 0x5888, DATA, 2, 0x22114433},
        {"LDR r0, [r1, r2] at +7 rotates by 24", 0x5888, DATA, 7, 0x77665588},
        {"LDRH r0, [r1, r2] at +1: rotated in 32 bits", 0x5A88, DATA, 1, 0x11000022},
        {"LDRH r0, [r1, r2] at +6", 0x5A88, DATA, 6, 0x00008877},
        {"LDRH r0, [r1, #2] at +3", 0x8848, DATA + 1, 0, 0x33000044},
        {"LDRSH r0, [r1, r2] at +6", 0x5E88, DATA, 6, 0xFFFF8877},
        {"LDRSH r0, [r1, r2] at +7: the byte, signed", 0x5E88, DATA, 7, 0xFFFFFF88},
        {"LDRSH r0, [r1, r2] at +1: the byte", 0x5E88, DATA, 1, 0x00000022},
        {"LDRSB r0, [r1, r2] at +7", 0x5688, DATA, 7, 0xFFFFFF88},
        {"LDRSB r0, [r1, r2] at +0", 0x5688, DATA, 0, 0x00000011},
        {"LDRB r0, [r1, r2] at +7", 0x5C88, DATA, 7, 0x00000088},
        {"LDRB r0, [r1, #5]", 0x7948, DATA, 0, 0x00000066},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.text);
        load_thumb_program({c.opcode});
        fill_data();
        cpu_regs[1] = c.r1;
        cpu_regs[2] = c.r2;
        EXPECT_EQ(run_steps(1), 1u);
        EXPECT_EQ(cpu_regs[0], c.r0_out);
    }
}

TEST_F(ThumbTransfer, SpAndPcRelativeWordLoads) {
    // LDR r0, [sp, #4] (0x9801) with r13 = DATA + 3 reads at DATA + 7.
    load_thumb_program({0x9801});
    fill_data();
    cpu_regs[13] = DATA + 3;
    run_steps(1);
    EXPECT_EQ(cpu_regs[0], 0x77665588u);

    // LDR r0, [pc, #4] (0x4801) at A = 0x08000002 reads 0x08000008.
    load_thumb_program({0x46C0, 0x4801}, {0xCAFEF00D}, 8);
    run_steps(2);
    EXPECT_EQ(cpu_regs[0], 0xCAFEF00Du);
}

TEST_F(ThumbTransfer, StoresWriteOnlyTheirWidth) {
    // STRH r0, [r1, r2] (0x5288) at +4; STRB r0, [r1, r2] (0x5488) at +1;
    // STR r0, [r1, #4] (0x6048) then STRB r3, [r1, #7] (0x71CB);
    // STRH r3, [r1, #2] (0x804B); STR r3, [sp, #8] (0x9302).
    load_thumb_program({0x5288, 0x5488});
    fill_data();
    cpu_regs[0] = 0xABCD1234;
    cpu_regs[1] = DATA;
    cpu_regs[2] = 4;
    run_steps(1);
    EXPECT_EQ(mem_read32(DATA + 4), 0x88771234u);
    cpu_regs[2] = 1;
    run_steps(1);
    EXPECT_EQ(mem_read32(DATA), 0x44333411u);

    load_thumb_program({0x6048, 0x71CB, 0x804B, 0x9302});
    fill_data();
    cpu_regs[0] = 0xABCD1234;
    cpu_regs[1] = DATA;
    cpu_regs[3] = 0x0000EE99;
    cpu_regs[13] = DATA;
    run_steps(2);
    EXPECT_EQ(mem_read32(DATA + 4), 0x99CD1234u);
    run_steps(1);
    EXPECT_EQ(mem_read32(DATA), 0xEE992211u);
    run_steps(1);
    EXPECT_EQ(mem_read32(DATA + 8), 0x0000EE99u);
}

TEST_F(ThumbTransfer, PushAndPopUseTheFullDescendingLayout) {
    constexpr uint32_t S = DATA + 0x100;
    // PUSH {r0, r1, lr} (0xB503); POP {r0, r1, pc} (0xBD03).
    load_thumb_program({0xB503, 0xBD03}, {0xDEADBEEF, 0xF00D}, 0x40);
    cpu_regs[13] = S;
    cpu_regs[0] = 0x11;
    cpu_regs[1] = 0x22;
    cpu_regs[14] = 0x08000041;
    run_steps(1);
    EXPECT_EQ(mem_read32(S - 12), 0x11u);
    EXPECT_EQ(mem_read32(S - 8), 0x22u);
    EXPECT_EQ(mem_read32(S - 4), 0x08000041u);
    EXPECT_EQ(cpu_regs[13], S - 12);
    cpu_regs[0] = cpu_regs[1] = 0;
    EXPECT_EQ(run_steps(1), 1u);
    EXPECT_EQ(cpu_regs[0], 0x11u);
    EXPECT_EQ(cpu_regs[1], 0x22u);
    EXPECT_EQ(cpu_regs[13], S);
    EXPECT_EQ(cpu_regs[15], 0x08000044u);  // bit 0 cleared, Thumb state kept
    EXPECT_EQ(cpu_opcode, 0xBEEFu);
    EXPECT_TRUE(in_thumb_state());

    // PUSH {r4, r7} (0xB490): r4 below r7; r13 = S - 8. POP {r7} (0xBC80)
    // takes the lowest word; 0xBE80 (bit 9 set) is POP {r7} as well.
    load_thumb_program({0xB490, 0xBC80, 0xBE80});
    cpu_regs[13] = S;
    cpu_regs[4] = 0x44;
    cpu_regs[7] = 0x77;
    run_steps(1);
    EXPECT_EQ(mem_read32(S - 8), 0x44u);
    EXPECT_EQ(mem_read32(S - 4), 0x77u);
    run_steps(2);
    EXPECT_EQ(cpu_regs[7], 0x77u);
    EXPECT_EQ(cpu_regs[13], S);
}

TEST_F(ThumbTransfer, BlockTransfers) {
    // STMIA r0!, {r1, r2} (0xC006) then LDMIA r3!, {r4, r5} (0xCB30).
    load_thumb_program({0xC006, 0xCB30});
    cpu_regs[0] = cpu_regs[3] = DATA + 0x20;
    cpu_regs[1] = 0xAAAA;
    cpu_regs[2] = 0xBBBB;
    run_steps(2);
    EXPECT_EQ(cpu_regs[0], DATA + 0x28);
    EXPECT_EQ(cpu_regs[3], DATA + 0x28);
    EXPECT_EQ(cpu_regs[4], 0xAAAAu);
    EXPECT_EQ(cpu_regs[5], 0xBBBBu);

    // LDMIA r0!, {r0, r1} (0xC803): both words from the original base, and
    // r0 keeps the word it loaded.
    load_thumb_program({0xC803});
    fill_data();
    cpu_regs[0] = DATA;
    run_steps(1);
    EXPECT_EQ(cpu_regs[0], 0x44332211u);
    EXPECT_EQ(cpu_regs[1], 0x88776655u);

    // STMIA r0!, {r0, r1} (0xC003): the lowest listed base is stored as it
    // was. STMIA r1!, {r0, r1} (0xC103): a later base is stored advanced.
    load_thumb_program({0xC003, 0xC103});
    cpu_regs[0] = DATA;
    cpu_regs[1] = 0x55;
    run_steps(1);
    EXPECT_EQ(mem_read32(DATA), DATA);
    EXPECT_EQ(mem_read32(DATA + 4), 0x55u);
    EXPECT_EQ(cpu_regs[0], DATA + 8);
    cpu_regs[1] = DATA + 0x10;
    run_steps(1);
    EXPECT_EQ(mem_read32(DATA + 0x10), DATA + 8);
    EXPECT_EQ(mem_read32(DATA + 0x14), DATA + 0x14);
    EXPECT_EQ(cpu_regs[1], DATA + 0x18);

    // LDMIA r2!, {} (0xCA00): nothing moves.
    load_thumb_program({0xCA00});
    cpu_regs[2] = DATA;
    run_steps(1);
    EXPECT_EQ(cpu_regs[2], DATA);
}

}  // namespace
