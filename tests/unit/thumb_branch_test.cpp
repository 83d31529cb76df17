// Thumb branches, BL, BX between the states and SWI into the supervisor
// vector.
#include <gtest/gtest.h>

#include "cpu/arm.h"
#include "memory/memory.h"
#include "thumb_program.h"

namespace {

class ThumbBranch : public ConsoleTest {};

constexpr uint32_t A = 0x08001000;  // where the instruction under test lies

// Puts `first` and `second` at A and enters Thumb state there.
void load_at_a(uint16_t first, uint16_t second = 0x46C0) {
    load_thumb_program({}, {uint32_t(second) << 16 | first}, A - 0x08000000);
    enter_thumb(A | 1);
    thumb_refill();
}

struct BranchCase {
    const char* text;
    uint16_t opcode;
    const char* flags;
    uint32_t target;
};

TEST_F(ThumbBranch, BranchTargets) {
    const BranchCase cases[] = {
        {"BEQ with offset 0xFE taken: back to A", 0xD0FE, "nZcv", A},
        {"BEQ not taken: next", 0xD0FE, "nzcv", A + 2},
        {"BNE +8", 0xD104, "nzcv", A + 4 + 8},
        {"condition 14 is always taken", 0xDEFF, "nzcv", A + 2},
        {"BGT not taken when N differs from V", 0xDC10, "Nzcv", A + 2},
        {"BLS taken when C clear", 0xD910, "nzcv", A + 4 + 0x20},
        {"BHI taken when C set and Z clear", 0xD880, "nzCv", A + 4 - 0x100},
        {"B with offset 0x7FF: A + 2", 0xE7FF, "nzcv", A + 2},
        {"B +0", 0xE000, "nzcv", A + 4},
        {"B +2046", 0xE3FF, "nzcv", A + 4 + 0x7FE},
        {"B -2048", 0xE400, "nzcv", A + 4 - 0x800},
        {"0xE800 acts as B +0", 0xE800, "nzcv", A + 4},
        {"0xEFFF acts as B -2", 0xEFFF, "nzcv", A + 2},
    };
    for (const BranchCase& c : cases) {
        SCOPED_TRACE(c.text);
        load_at_a(c.opcode);
        set_flags(c.flags);
        EXPECT_EQ(run_steps(1), 1u);
        EXPECT_EQ(cpu_regs[15], c.target + 4);
        EXPECT_EQ(cpu_opcode, mem_read16(c.target) & 0xFFFFu);
    }
}

TEST_F(ThumbBranch, LongBranchWithLink) {
    // Both offset fields 0: continues at A + 4 with r14 = A + 5, 2 cycles.
    load_at_a(0xF000, 0xF800);
    EXPECT_EQ(run_steps(1), 2u);
    EXPECT_EQ(cpu_regs[15], A + 4 + 4);
    EXPECT_EQ(cpu_regs[14], A + 5);

    // 0xF7FF, 0xFFFE: offset 0x7FFFFC, -4 from A + 4: back to A.
    load_at_a(0xF7FF, 0xFFFE);
    run_steps(1);
    EXPECT_EQ(cpu_regs[15], A + 4);
    EXPECT_EQ(cpu_regs[14], A + 5);

    // 0xF001, 0xF802: (1 << 12) | (2 << 1) = 0x1004 from A + 4.
    load_at_a(0xF001, 0xF802);
    run_steps(1);
    EXPECT_EQ(cpu_regs[15], A + 4 + 0x1004 + 4);

    // A lone second half acts as a first half: 0xFFC0 with 0xF800 after it
    // has offset (0x7C0 << 12) | 0 = 0x7C0000, negative: -0x40000.
    load_at_a(0xFFC0, 0xF800);
    run_steps(1);
    EXPECT_EQ(cpu_regs[15], A + 4 - 0x40000 + 4);
    EXPECT_EQ(cpu_regs[14], A + 5);
}

TEST_F(ThumbBranch, BxChoosesTheStateByBitZero) {
    // BX r0 (0x4700) to 0x08000100: ARM state there.
    load_thumb_program({0x4700}, {0xE3A01005}, 0x100);  // MOV r1, #5
    cpu_regs[0] = 0x08000100;
    EXPECT_EQ(run_steps(1), 1u);
    EXPECT_FALSE(in_thumb_state());
    EXPECT_FALSE(cpu_cpsr & CPSR_T);
    EXPECT_EQ(cpu_regs[15], 0x08000108u);
    EXPECT_EQ(cpu_opcode, 0xE3A01005u);

    // Bit 1 set: r15 keeps it, the opcode comes from the word below.
    load_thumb_program({0x4700}, {0xE3A01005}, 0x100);
    cpu_regs[0] = 0x08000102;
    run_steps(1);
    EXPECT_EQ(cpu_regs[15], 0x0800010Au);
    EXPECT_EQ(cpu_opcode, 0xE3A01005u);

    // BX r9 (0x4748) with bit 0 set stays in Thumb state.
    load_thumb_program({0x4748}, {0x2105}, 0x100);
    cpu_regs[9] = 0x08000101;
    run_steps(1);
    EXPECT_TRUE(in_thumb_state());
    EXPECT_EQ(cpu_regs[15], 0x08000104u);
    EXPECT_EQ(cpu_opcode, 0x2105u);
}

TEST_F(ThumbBranch, SwiEntersTheSupervisorVector) {
    // SWI 0x12 (0xDF12) at 0x08000002, in User mode with N and C set.
    load_thumb_program({0x46C0, 0xDF12});
    cpu_set_mode(0x10 | CPSR_T);
    cpu_regs[13] = 0x03007F00;
    cpu_regs[14] = 0x1234;
    set_flags("NzCv");
    run_steps(1);
    EXPECT_EQ(run_steps(1), 1u);
    EXPECT_EQ(cpu_cpsr & 0xFF, 0x93u);
    EXPECT_EQ(cpu_spsr, 0xA0000030u);  // flags packed, T set, User mode
    EXPECT_EQ(cpu_regs[14], 0x08000004u);
    EXPECT_EQ(cpu_regs[13], 0x03007FE0u);  // the supervisor stack
    EXPECT_EQ(cpu_regs[15], 0x08u + 8);
    EXPECT_EQ(cpu_opcode, mem_read32(0x08));
    EXPECT_FALSE(in_thumb_state());
    EXPECT_EQ(bank_usr.regs[14], 0x1234u);  // User's link register kept
}

}  // namespace
