// The decoding descriptions tell the recompiler what each instruction may
// do besides its work. Here random instructions run on the interpreter from
// random states, and what they did is held against what the description
// says: an instruction it says cannot write r15 goes on to the next one, one
// that cannot change the state keeps the mode and the instruction set, the
// flags that change are among those it says may be set, and flipping the
// flags it says are not read changes nothing else.
#include <random>
#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/thumb.h"

namespace {

struct Outcome {
    uint32_t regs[16];
    uint32_t cpsr_low;  // CPSR bits 0-27: bits 28-31 follow the flag bytes only when packed
    uint32_t flags;     // N Z C V
};

uint32_t flags_now() { return flag_n << 3 | flag_z << 2 | flag_c << 1 | flag_v; }
void set_flags_to(uint32_t nzcv) {
    flag_n = (nzcv >> 3) & 1, flag_z = (nzcv >> 2) & 1;
    flag_c = (nzcv >> 1) & 1, flag_v = nzcv & 1;
}

Outcome outcome() {
    Outcome o;
    for (int i = 0; i < 16; i++) o.regs[i] = cpu_regs[i];
    o.cpsr_low = cpu_cpsr & 0x0FFFFFFF;
    o.flags = flags_now();
    return o;
}

class DecodingFactsTest : public ConsoleTest {
   protected:
    std::mt19937 rng{12345};

    // Registers point into work RAM half the time, so that loads and stores
    // land somewhere plain; the mode is System or Supervisor (an SPSR to
    // return with).
    void random_state(bool thumb, uint32_t code) {
        for (int i = 0; i < 15; i++)
            cpu_regs[i] = rng() % 2 ? 0x02000000 + (rng() % 0x1000) * 4 : rng();
        uint32_t mode = rng() % 2 ? 0x1F : 0x13;
        cpu_set_mode(mode | (thumb ? CPSR_T : 0));
        cpu_spsr = (rng() & 0xF0000000) | 0x1F;
        cpu_regs[15] = code;
        if (thumb) {
            thumb_refill();
        } else {
            arm_refill();
        }
    }

    // Runs `opcode` at `code` from a random state twice: once as drawn, once
    // with the flags outside `read` flipped; checks every fact.
    template <typename Facts>
    void check(uint32_t opcode, bool thumb, const Facts& facts) {
        const uint32_t code = 0x03000000;
        SCOPED_TRACE(testing::Message() << std::hex << (thumb ? "thumb " : "arm ") << opcode);
        mem_write32(code, thumb ? opcode | 0x46C00000 : opcode);  // Thumb: then mov r8, r8
        std::vector<uint8_t> ram(wram, wram + WRAM_SIZE);
        random_state(thumb, code);
        uint32_t flags = rng() & 15;
        set_flags_to(flags);
        Processor start = cpu;
        uint32_t start_cpsr = cpu_cpsr;
        cpu_step();
        Outcome first = outcome();

        uint32_t step = thumb ? 2 : 4, ahead = thumb ? 4 : 8;
        if (!facts.writes_pc) {
            EXPECT_EQ(first.regs[15], code + step + ahead);
        }
        if (!facts.changes_state) {
            EXPECT_EQ(first.cpsr_low & 0x3F, start_cpsr & 0x3F);
        }
        EXPECT_EQ((first.flags ^ flags) & ~facts.flags_set, 0u) << "flags changed";

        std::copy(ram.begin(), ram.end(), wram);
        cpu = start;
        set_flags_to(flags ^ (~facts.flags_read & 15));
        cpu_step();
        Outcome second = outcome();
        for (int i = 0; i < 16; i++) EXPECT_EQ(second.regs[i], first.regs[i]) << "r" << i;
        EXPECT_EQ(second.cpsr_low, first.cpsr_low);
        // A flag that comes out different can only be one that was flipped
        // and passed through unchanged.
        uint32_t differ = first.flags ^ second.flags;
        EXPECT_EQ(differ & facts.flags_read, 0u);
        EXPECT_EQ(differ & (first.flags ^ flags), 0u) << "an unread flag was used";
        std::copy(ram.begin(), ram.end(), wram);
    }
};

struct Facts {
    bool writes_pc, changes_state;
    uint32_t flags_read, flags_set;
};

TEST_F(DecodingFactsTest, ArmInstructionsDoNoMoreThanTheDescriptionSays) {
    for (int i = 0; i < 20000; i++) {
        uint32_t opcode = rng();
        Facts facts = {arm_writes_pc(opcode), arm_changes_state(opcode), arm_flags_read(opcode),
                       arm_flags_set(opcode)};
        check(opcode, false, facts);
        if (HasFailure()) return;
    }
}

TEST_F(DecodingFactsTest, ThumbInstructionsDoNoMoreThanTheDescriptionSays) {
    for (int i = 0; i < 20000; i++) {
        uint32_t opcode = rng() & 0xFFFF;
        Facts facts = {thumb_writes_pc(opcode), thumb_changes_state(opcode),
                       thumb_flags_read(opcode), thumb_flags_set(opcode)};
        check(opcode, true, facts);
        if (HasFailure()) return;
    }
}

// The recompiler ends its blocks where the description says, so the
// description must say so for every instruction that jumps.
TEST_F(DecodingFactsTest, NamedInstructions) {
    struct Case {
        uint32_t opcode;
        const char* text;
        bool ends;
        uint32_t read, set;
    } cases[] = {
        {0xEA000000, "b", true, 0, 0},
        {0x0A000000, "beq", true, FLAG_Z, 0},
        {0xE12FFF11, "bx r1", true, 0, 0},
        {0xEF000000, "swi 0", true, FLAGS_ALL, 0},
        {0xE1A0F00E, "mov pc, lr", true, 0, 0},
        {0xE1B0F00E, "movs pc, lr", true, FLAG_C, FLAGS_ALL},  // LSL #0 keeps C
        {0xE8BD8000, "ldmia sp!, {pc}", true, 0, 0},
        {0xE8BD0001, "ldmia sp!, {r0}", false, 0, 0},
        {0xE0900001, "adds r0, r0, r1", false, 0, FLAGS_ALL},
        {0xE0B00001, "adcs r0, r0, r1", false, FLAG_C, FLAGS_ALL},
        {0xE1B00060, "movs r0, r0, rrx", false, FLAG_C, FLAG_N | FLAG_Z | FLAG_C},
        {0xE1A00060, "mov r0, r0, rrx", false, FLAG_C, 0},
        {0xE3100001, "tst r0, #1", false, FLAG_C, FLAG_N | FLAG_Z | FLAG_C},
        {0xE0100291, "muls r0, r1, r2", false, 0, FLAG_N | FLAG_Z},
        {0xE10F0000, "mrs r0, cpsr", false, FLAGS_ALL, 0},
        {0xE128F000, "msr cpsr_f, r0", true, 0, FLAGS_ALL},
        {0xE121F000, "msr cpsr_c, r0", true, 0, 0},
        {0xE168F000, "msr spsr_f, r0", false, 0, 0},
        {0xE7F000F0, "udf #0", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(arm_ends_block(c.opcode), c.ends);
        EXPECT_EQ(arm_flags_read(c.opcode), c.read);
        EXPECT_EQ(arm_flags_set(c.opcode), c.set);
    }
}

}  // namespace
