// The recompiler against the interpreter, one instruction at a time over
// tables of operands: every data-processing operation with and without S,
// each operand-2 form (immediate rotated or not, every shift by 0, 1, 31 as
// encoded, and by a register holding 0, 1, 31, 32, 33 and 255), r15 as each
// operand, all sixteen NZCV inputs, all sixteen conditions, and the
// multiplies. Then chained: whole streams run by the frame loop's run loop
// under random budgets, steps and state compared after every budget.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"
#include "processor_state.h"

#if defined(__x86_64__) || defined(__i386__)

namespace {

constexpr uint32_t ROM = 0x08000000;
constexpr uint32_t END_LOOP = 0xEAFFFFFE;  // B .

class NativeDifferentialTest : public ConsoleTest {
   protected:
    // Puts `word` (then B .) at the start of the image; the translation made
    // by the first compare() serves the ones after it.
    void prepare(uint32_t word) { load_test_image({word, END_LOOP}); }

    // Runs the prepared instruction from `regs` and `nzcv` under both
    // methods, one block under the recompiler and as many steps on the
    // interpreter, and returns the differences ("" when none).
    std::string compare(const uint32_t (&regs)[15], uint32_t nzcv) {
        for (int i = 0; i < 15; i++) cpu_regs[i] = regs[i];
        cpu_regs[15] = ROM;
        arm_refill();
        flag_n = (nzcv >> 3) & 1, flag_z = (nzcv >> 2) & 1;
        flag_c = (nzcv >> 1) & 1, flag_v = nzcv & 1;
        ProcessorState start = ProcessorState::capture();
        cpu_method = Method::Dynarec;
        uint32_t cycles = dynarec_step() & 0xFFFF;
        ProcessorState translated = ProcessorState::capture();
        start.restore(Method::Interpretative);
        for (uint32_t c = 0; c < cycles; c += ARM_CYCLES) arm_step();
        return translated.differences(ProcessorState::capture());
    }
    std::string compare(uint32_t word, const uint32_t (&regs)[15], uint32_t nzcv) {
        prepare(word);
        return compare(regs, nzcv);
    }
};

// Operand values that reach every flag outcome between them.
const uint32_t VALUES[][2] = {
    {0, 0},
    {1, 1},
    {0x7FFFFFFF, 1},
    {0x80000000, 1},
    {0xFFFFFFFF, 1},
    {0x80000000, 0x80000000},
    {0x12345678, 0x9ABCDEF0},
    {5, 0xFFFFFFFF},
};

TEST_F(NativeDifferentialTest, DataProcessingOverEveryOperandForm) {
    // Operand 2 encodings (bits 25 and 11-0) with Rm = r2, Rs = r3.
    std::vector<uint32_t> forms = {
        1u << 25 | 0x0FF,  // #0xFF
        1u << 25 | 0x4FF,  // #0xFF000000 (rotation 8: C from bit 31)
        1u << 25 | 0x102,  // #0x80000000 (rotation 2)
        1u << 25 | 0x000,  // #0
    };
    for (uint32_t type = 0; type < 4; type++)
        for (uint32_t amount : {0u, 1u, 31u}) forms.push_back(amount << 7 | type << 5 | 2);
    for (uint32_t type = 0; type < 4; type++) forms.push_back(3u << 8 | type << 5 | 1u << 4 | 2);
    const uint32_t register_amounts[] = {0, 1, 31, 32, 33, 255};

    int compared = 0;
    for (uint32_t op = 0; op < 16; op++) {
        for (uint32_t s = 0; s < 2; s++) {
            if (op >= 8 && op <= 11 && !s) continue;  // compares exist only with S
            for (uint32_t form : forms) {
                bool by_register = !(form & (1u << 25)) && (form & 0x10);
                uint32_t word = 0xE0000000 | op << 21 | s << 20 | 1 << 16 | 0 << 12 | form;
                prepare(word);
                for (const auto& v : VALUES) {
                    for (uint32_t nzcv = 0; nzcv < 16; nzcv++) {
                        uint32_t amount = register_amounts[(nzcv + compared) % 6];
                        uint32_t regs[15] = {0, v[0], v[1], by_register ? amount : 7};
                        std::string diff = compare(regs, nzcv);
                        ASSERT_EQ(diff, "") << std::hex << "word " << word << " r1 " << v[0]
                                            << " r2 " << v[1] << " nzcv " << nzcv;
                        compared++;
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 10000);
}

// r15 as Rn, as Rm (reading the instruction's address + 8) and as Rd (a
// jump), with and without S.
TEST_F(NativeDifferentialTest, ProgramCounterAsEveryOperand) {
    const struct {
        const char* text;
        uint32_t word;
    } cases[] = {
        {"ADD r0, pc, #4", 0xE28F0004},          {"ADDS r0, pc, r1", 0xE09F0001},
        {"SUB r0, r1, pc", 0xE041000F},          {"RSBS r0, pc, #0", 0xE27F0000},
        {"MOV r0, pc, LSL #1", 0xE1A0008F},      {"CMP pc, r1", 0xE15F0001},
        {"ADD r0, r1, pc, ROR #4", 0xE081026F},  {"MOV pc, #0x08000000", 0xE3A0F302},
        {"ADD pc, pc, #0", 0xE28FF000},          {"MOV r0, pc, LSL r3", 0xE1A0031F},
        {"ADD pc, r1, #0x08000000", 0xE281F302}, {"TEQ pc, #0", 0xE33F0000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        for (uint32_t nzcv : {0u, 6u, 15u}) {
            uint32_t regs[15] = {0, 8, 0, 2};
            EXPECT_EQ(compare(c.word, regs, nzcv), "");
        }
    }
}

TEST_F(NativeDifferentialTest, EveryConditionOverEveryFlagInput) {
    for (uint32_t cond = 0; cond < 16; cond++) {
        // ADDS r0, r1, r2 and MOV r0, #1 and a conditional branch.
        for (uint32_t word : {0x00910002u, 0x03A00001u, 0x0A000010u}) {
            word |= cond << 28;
            prepare(word);
            for (uint32_t nzcv = 0; nzcv < 16; nzcv++) {
                uint32_t regs[15] = {0, 3, 4};
                ASSERT_EQ(compare(regs, nzcv), "")
                    << std::hex << "word " << word << " nzcv " << nzcv;
            }
        }
    }
}

// A condition right after an operation that set the flags it tests, in
// the same block: every condition after every kind of operation.
TEST_F(NativeDifferentialTest, ConditionsAfterTheOperationThatSetTheirFlags) {
    const uint32_t setters[] = {
        0xE0910002,  // ADDS r0, r1, r2
        0xE0510002,  // SUBS r0, r1, r2
        0xE1510002,  // CMP r1, r2
        0xE1710002,  // CMN r1, r2
        0xE0B10002,  // ADCS r0, r1, r2
        0xE0D10002,  // SBCS r0, r1, r2
        0xE0710002,  // RSBS r0, r1, r2
        0xE0F10002,  // RSCS r0, r1, r2
        0xE0110002,  // ANDS r0, r1, r2
        0xE1B00002,  // MOVS r0, r2
        0xE1F00002,  // MVNS r0, r2
        0xE1310002,  // TEQ r1, r2
        0xE1B000A2,  // MOVS r0, r2, LSR #1
    };
    for (uint32_t setter : setters) {
        for (uint32_t cond = 0; cond < 15; cond++) {
            load_test_image({setter, cond << 28 | 0x03A03001, END_LOOP});  // MOV<c> r3, #1
            for (const auto& v : VALUES) {
                for (uint32_t nzcv : {0u, 2u, 15u}) {
                    uint32_t regs[15] = {0, v[0], v[1]};
                    ASSERT_EQ(compare(regs, nzcv), "") << std::hex << setter << " cond " << cond
                                                       << " r1 " << v[0] << " r2 " << v[1];
                }
            }
        }
    }
}

TEST_F(NativeDifferentialTest, Multiplies) {
    const uint32_t words[] = {
        0xE0000291,  // MUL r0, r1, r2
        0xE0100291,  // MULS r0, r1, r2
        0xE0203291,  // MLA r0, r1, r2, r3
        0xE0303291,  // MLAS r0, r1, r2, r3
        0xE0810291,  // UMULL r0, r1, r1, r2
        0xE0D10291,  // SMULLS r0, r1, r1, r2
        0xE0A10392,  // UMLAL r0, r1, r2, r3
        0xE0F10392,  // SMLALS r0, r1, r2, r3
    };
    for (uint32_t word : words) {
        prepare(word);
        for (const auto& v : VALUES) {
            for (uint32_t nzcv : {0u, 9u, 15u}) {
                uint32_t regs[15] = {0, v[0], v[1], 0x10};
                ASSERT_EQ(compare(regs, nzcv), "") << std::hex << "word " << word;
            }
        }
    }
}

// A handler's flags are only those it may set: an LDM with S and r15 not in
// its list leaves the CPSR alone, so the flags of the ANDS before it must
// still be stored (the differential fuzzer found this).
TEST_F(NativeDifferentialTest, FlagsBeforeAHandlerThatMaySetThemAreKept) {
    load_test_image({
        0xE21CD0DB,  // ANDS r13, r12, #0xDB
        0xE8FF5FD8,  // LDMIA pc!, {r3, r4, r6-r12, lr}^
    });
    for (uint32_t r12 : {0u, 0xDBu, 0x80000000u}) {
        uint32_t regs[15] = {};
        regs[12] = r12;
        for (uint32_t nzcv : {0u, 15u}) EXPECT_EQ(compare(regs, nzcv), "") << r12;
    }
}

// --- Chained ---------------------------------------------------------------

// Streams of native forms and loads, stores and branches (forward and
// backward, so that blocks link to each other and loop), run by cpu_run
// under random budgets and extras: the recompiler's run loop must take the
// same steps and leave the same state as the interpreter's.
uint32_t random_instruction(std::mt19937& rng, uint32_t index, uint32_t length) {
    auto pick = [&](uint32_t n) { return rng() % n; };
    uint32_t cond = pick(3) ? 0xE0000000 : pick(15) << 28;
    uint32_t rd = pick(9), rn = pick(9), rm = pick(9);
    switch (pick(8)) {
        case 0:
        case 1: {
            uint32_t op = pick(16), s = pick(2);
            if (op >= 8 && op <= 11) s = 1;
            return cond | op << 21 | s << 20 | rn << 16 | rd << 12 | pick(32) << 7 | pick(4) << 5 |
                   rm;
        }
        case 2: {
            uint32_t op = pick(16), s = pick(2);
            if (op >= 8 && op <= 11) s = 1;
            return cond | 1u << 25 | op << 21 | s << 20 | rn << 16 | rd << 12 | pick(4096);
        }
        case 3:  // LDR/STR rd, [r11, #imm]: r11 points into internal RAM
            return cond | 0x058B0000 | pick(2) << 20 | rd << 12 | pick(64) * 4;
        case 4: return cond | 0x00000090 | pick(4) << 20 | rd << 16 | rn << 12 | rm << 8 | rm;
        default: {
            // B to anywhere in the stream (but not itself without a way out).
            int32_t target = int32_t(pick(length));
            if (uint32_t(target) == index) target = int32_t(length);
            int32_t offset = (target - int32_t(index) - 2);
            return cond | 0x0A000000 | (uint32_t(offset) & 0xFFFFFF);
        }
    }
}

TEST_F(NativeDifferentialTest, ChainedBlocksUnderRandomBudgets) {
    constexpr uint32_t STREAMS = 60, LENGTH = 48;
    for (uint32_t seed = 1; seed <= STREAMS; seed++) {
        std::mt19937 rng(seed);
        std::vector<uint32_t> words;
        for (uint32_t i = 0; i < LENGTH; i++) words.push_back(random_instruction(rng, i, LENGTH));
        words.push_back(0xEA000000 | ((0u - (LENGTH + 2)) & 0xFFFFFF));  // B back to the start
        load_test_image(words);
        for (int i = 0; i <= 10; i++) cpu_regs[i] = rng();
        cpu_regs[11] = 0x03000100;
        flag_n = rng() & 1, flag_z = rng() & 1, flag_c = rng() & 1, flag_v = rng() & 1;
        std::vector<uint8_t> ram(iram, iram + IRAM_SIZE);

        ProcessorState interpreted_state = ProcessorState::capture();
        ProcessorState translated_state = interpreted_state;
        std::vector<uint8_t> interpreted_ram = ram, translated_ram = ram;
        for (int run = 0; run < 40; run++) {
            uint32_t budget = 1 + rng() % 300;
            uint32_t extra = rng() % 3 ? 0 : 2;
            std::copy(translated_ram.begin(), translated_ram.end(), iram);
            translated_state.restore(Method::Dynarec);
            uint64_t steps_before = steps_taken;
            cpu_run(budget, extra);
            uint64_t translated_steps = steps_taken - steps_before;
            translated_state = ProcessorState::capture();
            translated_ram.assign(iram, iram + IRAM_SIZE);

            std::copy(interpreted_ram.begin(), interpreted_ram.end(), iram);
            interpreted_state.restore(Method::Interpretative);
            steps_before = steps_taken;
            cpu_run(budget, extra);
            uint64_t interpreted_steps = steps_taken - steps_before;
            interpreted_state = ProcessorState::capture();
            interpreted_ram.assign(iram, iram + IRAM_SIZE);

            ASSERT_EQ(translated_steps, interpreted_steps) << "seed " << seed << " run " << run;
            ASSERT_EQ(translated_state.differences(interpreted_state), "")
                << "seed " << seed << " run " << run << " budget " << budget;
            ASSERT_TRUE(translated_ram == interpreted_ram) << "seed " << seed << " run " << run;
        }
    }
}

}  // namespace

#endif
