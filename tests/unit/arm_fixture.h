// A console ready to run ARM instructions placed at the start of the
// cartridge, with helpers for the flag bytes.
#pragma once

#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/arm_handlers.h"
#include "cpu/cpu.h"
#include "memory/memory.h"

constexpr uint32_t CODE = 0x08000000;  // where the instructions sit
constexpr uint32_t DATA = 0x02000100;  // scratch words in work RAM

class ArmTest : public ConsoleTest {
   protected:
    // The words become the cartridge; the first is latched with r15 = CODE + 8.
    void load(const std::vector<uint32_t>& words) { load_test_image(words); }

    // Runs n instructions through arm_step; each costs 2 cycles.
    void step(int n = 1) {
        for (int i = 0; i < n; i++) ASSERT_EQ(arm_step() & 0xFFFF, ARM_CYCLES);
    }

    // Flags as a nibble N Z C V (bit 3 N ... bit 0 V).
    static void set_nzcv(uint32_t nzcv) {
        flag_n = (nzcv >> 3) & 1;
        flag_z = (nzcv >> 2) & 1;
        flag_c = (nzcv >> 1) & 1;
        flag_v = nzcv & 1;
    }
    static uint32_t nzcv() { return flag_n << 3 | flag_z << 2 | flag_c << 1 | flag_v; }
};
