// The start of every cartridge: whatever the previous one left in the
// registers, the banks, the SPSRs and the flags, the next starts from the
// same state, in System mode.
#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"

namespace {

class CpuResetTest : public ConsoleTest {};

constexpr uint32_t SPIN = 0xEAFFFFFE;  // b .

// ARM code that enters every exception mode, fills its banked registers
// and its SPSR, then leaves User mode's registers and the flags set too.
std::vector<uint32_t> dirtying_program() {
    std::vector<uint32_t> words;
    for (uint32_t mode : {0xD1u, 0xD2u, 0xD3u, 0xD7u, 0xDBu}) {
        words.push_back(0xE3A00000 | mode);  // mov r0, #mode (I and F set)
        words.push_back(0xE121F000);         // msr cpsr_c, r0
        for (uint32_t r = 8; r <= 14; r++) words.push_back(0xE3E00000 | r << 12);  // mvn rN, #0
        words.push_back(0xE16FF000);  // msr spsr_fsxc, r0
    }
    words.push_back(0xE3A00010);  // mov r0, #0x10 (User)
    words.push_back(0xE121F000);  // msr cpsr_c, r0
    words.push_back(0xE3E01000);  // mvn r1, #0
    words.push_back(0xE3E08000);  // mvn r8, #0
    words.push_back(0xE3E0D000);  // mvn sp, #0
    words.push_back(0xE3E0E000);  // mvn lr, #0
    words.push_back(0xE328F20F);  // msr cpsr_f, #0xF0000000
    words.push_back(SPIN);
    return words;
}

void run_until_spin() {
    for (int i = 0; i < 1000 && fetch_word(cpu_regs[15] - 8) != SPIN; i++) cpu_step();
    ASSERT_EQ(fetch_word(cpu_regs[15] - 8), SPIN);
}

TEST_F(CpuResetTest, ACartridgeAfterOneThatLeftBanksDirtySeesCleanBanks) {
    load_test_image(dirtying_program());
    run_until_spin();
    ASSERT_EQ(bank_fiq.regs[12], 0xFFFFFFFFu);  // the program did what it says
    ASSERT_EQ(bank_und.spsr, 0xDBu);
    ASSERT_EQ(cpu_cpsr & 0x1F, 0x10u);

    load_test_image({0xE10F0000, SPIN});  // mrs r0, cpsr; b .
    const RegisterSet* banks[] = {&bank_usr, &bank_fiq, &bank_irq, &bank_svc, &bank_abt, &bank_und};
    const uint32_t stacks[] = {0, 0, 0x03007FA0, 0x03007FE0, 0, 0};
    for (int b = 0; b < 6; b++) {
        SCOPED_TRACE(b);
        for (int r = 0; r < 16; r++) EXPECT_EQ(banks[b]->regs[r], r == 13 ? stacks[b] : 0u) << r;
        EXPECT_EQ(banks[b]->cpsr, 0u);
        EXPECT_EQ(banks[b]->spsr, 0u);
    }
    for (int r = 0; r < 13; r++) EXPECT_EQ(cpu_regs[r], 0u) << r;
    EXPECT_EQ(cpu_regs[13], 0x03007F00u);
    EXPECT_EQ(cpu_regs[14], 0u);
    EXPECT_EQ(cpu_regs[15], 0x08000008u);
    EXPECT_EQ(cpu_spsr, 0u);
    EXPECT_EQ(flag_n | flag_z | flag_c | flag_v, 0);

    // The program's first instruction reads the mode it starts in: System.
    cpu_step();
    EXPECT_EQ(cpu_regs[0], 0x1Fu);
}

// Entering an exception mode from the start and coming back finds the
// console's stacks in each mode.
TEST_F(CpuResetTest, EveryModeStartsWithItsStack) {
    load_test_image({0xE3A000D2, 0xE121F000, 0xE1A0100D,  // irq: mov r1, sp
                     0xE3A000D3, 0xE121F000, 0xE1A0200D,  // svc: mov r2, sp
                     0xE3A0001F, 0xE121F000, 0xE1A0300D,  // sys: mov r3, sp
                     SPIN});
    run_until_spin();
    EXPECT_EQ(cpu_regs[1], 0x03007FA0u);
    EXPECT_EQ(cpu_regs[2], 0x03007FE0u);
    EXPECT_EQ(cpu_regs[3], 0x03007F00u);
}

}  // namespace
