// Thumb code under the recompiler against the interpreter: every form one
// block at a time over tables of operands and all sixteen NZCV inputs;
// random streams block by block; then chained, by the frame loop's run loop
// under random budgets and extras, through Thumb and ARM code alike (BL
// pairs, BX both ways, a store into the next instruction), steps and state
// compared after every budget.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "console_fixture.h"
#include "cpu/cpu.h"
#include "cpu/thumb.h"
#include "dynarec/dynarec.h"
#include "processor_state.h"
#include "thumb_program.h"

#if defined(__x86_64__) || defined(__i386__)

namespace {

constexpr uint16_t THUMB_END_LOOP = 0xE7FE;  // B .

// Internal RAM, where the streams load and store: r6 and r7 point into it,
// r4 holds a small offset, and SP lies in it too.
constexpr uint32_t IRAM_BASE = 0x03000000;

struct Outcome {
    std::string differences;
    uint32_t steps;
};

// Runs one block under the recompiler from the current state, then as many
// steps on the interpreter from the same state; cycles compared too.
Outcome compare_block() {
    ProcessorState start = ProcessorState::capture();
    std::vector<uint8_t> ram(iram, iram + IRAM_SIZE);
    cpu_method = Method::Dynarec;
    uint32_t result = dynarec_step();
    uint32_t steps = result >> 16, cycles = result & 0xFFFF;
    ProcessorState translated = ProcessorState::capture();
    std::vector<uint8_t> translated_ram(iram, iram + IRAM_SIZE);

    std::copy(ram.begin(), ram.end(), iram);
    start.restore(Method::Interpretative);
    uint32_t interpreted_cycles = 0;
    for (uint32_t i = 0; i < steps; i++) interpreted_cycles += cpu_step() & 0xFFFF;
    std::string diff = translated.differences(ProcessorState::capture());
    if (cycles != interpreted_cycles)
        diff += " cycles " + std::to_string(cycles) + "/" + std::to_string(interpreted_cycles);
    if (translated_ram != std::vector<uint8_t>(iram, iram + IRAM_SIZE)) diff += " iram";
    return {diff, steps};
}

const uint32_t VALUES[][2] = {
    {0, 0},
    {1, 1},
    {0x7FFFFFFF, 1},
    {0x80000000, 1},
    {0xFFFFFFFF, 1},
    {0x80000000, 0x80000000},
    {0x12345678, 0x9ABCDEF0},
    {5, 0xFFFFFFFF},
    {0x40, 31},
    {0x80000001, 32},
};

class ThumbDifferentialTest : public ConsoleTest {
   protected:
    // `halfwords` then B . at 0x08000000, in Thumb state, from r0-r7 given
    // by `a` and `b` (alternately), r8 = a, SP in internal RAM.
    std::string compare(const std::vector<uint16_t>& halfwords, const uint32_t (&v)[2],
                        uint32_t nzcv) {
        std::vector<uint16_t> program = halfwords;
        program.push_back(THUMB_END_LOOP);
        load_thumb_program(program);
        for (int r = 0; r < 8; r++) cpu_regs[r] = v[r & 1];
        cpu_regs[8] = v[0];
        cpu_regs[13] = IRAM_BASE + 0x4000;
        flag_n = (nzcv >> 3) & 1, flag_z = (nzcv >> 2) & 1;
        flag_c = (nzcv >> 1) & 1, flag_v = nzcv & 1;
        return compare_block().differences;
    }
};

// Every data-processing form, each with the operands and flags that reach
// its corner cases; B<cond> with every condition; the forms whose r15 reads
// the instruction's address + 4 (word-aligned where the address arithmetic
// says so); the BL pair; and the forms that go to their handlers.
TEST_F(ThumbDifferentialTest, EveryFormOverOperandsAndFlags) {
    std::vector<std::vector<uint16_t>> forms;
    for (uint32_t type = 0; type < 3; type++)  // LSL, LSR, ASR r0, r1, #0/1/31
        for (uint32_t amount : {0u, 1u, 31u})
            forms.push_back({uint16_t(type << 11 | amount << 6 | 1 << 3 | 0)});
    for (uint32_t op = 0; op < 4; op++)  // ADD/SUB r0, r1, r2 / #0 / #7
        for (uint32_t operand : {2u, 0u, 7u})
            forms.push_back({uint16_t(0x1800 | op << 9 | operand << 6 | 1 << 3 | 0)});
    for (uint32_t op = 0; op < 4; op++)  // MOV/CMP/ADD/SUB r1, #0 / #0x80 / #0xFF
        for (uint32_t imm : {0u, 0x80u, 0xFFu})
            forms.push_back({uint16_t(0x2000 | op << 11 | 1 << 8 | imm)});
    for (uint32_t op = 0; op < 16; op++)  // the register ALU, r0 op= r1
        forms.push_back({uint16_t(0x4000 | op << 6 | 1 << 3 | 0)});
    forms.push_back({0x4440});                  // ADD r0, r8
    forms.push_back({0x4478});                  // ADD r0, pc
    forms.push_back({0x4481});                  // ADD r9, r0
    forms.push_back({0x4540});                  // CMP r0, r8
    forms.push_back({0x4578});                  // CMP r0, pc
    forms.push_back({0x45F8});                  // CMP r8, pc
    forms.push_back({0x4587});                  // CMP pc, r0 (the handler)
    forms.push_back({0x4608});                  // MOV r0, r1 (no flags)
    forms.push_back({0x4678});                  // MOV r0, pc
    forms.push_back({0x46C1});                  // MOV r9, r8
    forms.push_back({0x46C0, 0xA0FF});          // NOP; ADD r0, pc, #1020 (at A = 2: pc aligned)
    forms.push_back({0xA0FF});                  // ADD r0, pc, #1020
    forms.push_back({0xA901});                  // ADD r1, sp, #4
    forms.push_back({0xB07F});                  // ADD sp, #508
    forms.push_back({0xB0FF});                  // SUB sp, #508
    for (uint32_t cond = 0; cond < 15; cond++)  // B<cond> +4, cond 14 included
        forms.push_back({uint16_t(0xD000 | cond << 8 | 2), 0x3001});
    forms.push_back({0xE002});          // B +4
    forms.push_back({0xE7FC});          // B -8
    forms.push_back({0xF000, 0xF802});  // BL +8
    forms.push_back({0xF7FF, 0xFFFC});  // BL to A - 4
    forms.push_back({0xF800, 0x3001});  // a second half alone: a first half
    forms.push_back({0x4700});          // BX r0
    forms.push_back({0x4687});          // MOV pc, r0
    forms.push_back({0x4487});          // ADD pc, r0
    forms.push_back({0xDF00});          // SWI 0
    forms.push_back({0x4098, 0x3001});  // LSL r0, r3 (the handler); ADDS r0, #1
    forms.push_back({0x40D8, 0x4118});  // LSR r0, r3; ASR r0, r3
    forms.push_back({0x41D8, 0x4148});  // ROR r0, r3; ADC r0, r1
    forms.push_back({0x4840, 0x3001});  // LDR r0, [pc, #256]; ADDS r0, #1
    forms.push_back({0xB503, 0xBC0C});  // PUSH {r0, r1, lr}; POP {r2, r3}
    int compared = 0;
    for (const auto& form : forms) {
        for (const auto& v : VALUES) {
            for (uint32_t nzcv = 0; nzcv < 16; nzcv++) {
                std::string diff = compare(form, v, nzcv);
                std::ostringstream text;
                for (uint16_t h : form) text << std::hex << " " << h;
                ASSERT_EQ(diff, "") << "form" << text.str() << std::hex << " r even " << v[0]
                                    << " r odd " << v[1] << " nzcv " << nzcv;
                compared++;
            }
        }
    }
    EXPECT_GT(compared, 10000);
}

// Every load and store form at every alignment of its address, inline
// where memory is plain and aligned, through the handler elsewhere: r1 is
// the base (internal RAM, plus 0-3), r2 an offset, SP internal RAM plus
// 0-3; the PC-relative load at both halfwords of a word.
TEST_F(ThumbDifferentialTest, TransfersAtEveryAlignment) {
    std::vector<std::vector<uint16_t>> forms;
    for (uint32_t op = 0; op < 8; op++)  // register offset, Rd = r0, Rb = r1, Ro = r2
        forms.push_back({uint16_t(0x5000 | op << 9 | 2 << 6 | 1 << 3 | 0)});
    for (uint32_t form : {0x6000u, 0x6800u, 0x7000u, 0x7800u, 0x8000u, 0x8800u})
        for (uint32_t imm : {0u, 1u, 31u}) forms.push_back({uint16_t(form | imm << 6 | 1 << 3)});
    forms.push_back({0x9001});          // STR r0, [sp, #4]
    forms.push_back({0x9801});          // LDR r0, [sp, #4]
    forms.push_back({0x4801});          // LDR r0, [pc, #4] at A = 0
    forms.push_back({0x46C0, 0x4801});  // ... at A = 2
    forms.push_back({0x46C0, 0x4800});  // LDR r0, [pc, #0] at A = 2: below A + 4
    forms.push_back({0xB407});          // PUSH {r0-r2}
    forms.push_back({0xB507});          // PUSH {r0-r2, lr}
    forms.push_back({0xBC0D});          // POP {r0, r2, r3}
    forms.push_back({0xC10D});          // STMIA r1!, {r0, r2, r3}
    forms.push_back({0xC90D});          // LDMIA r1!, {r0, r2, r3}
    forms.push_back({0xC903});          // LDMIA r1!, {r0, r1}: the base listed
    forms.push_back({0xC100});          // STMIA r1!, {}: the empty list
    forms.push_back({0x4710});          // BX r2
    forms.push_back({0x4770});          // BX lr
    for (const auto& form : forms) {
        for (uint32_t misalign = 0; misalign < 4; misalign++) {
            for (uint32_t offset : {0u, 1u, 2u, 0x40u}) {
                std::vector<uint16_t> program = form;
                program.push_back(THUMB_END_LOOP);
                load_thumb_program(program);
                for (int r = 0; r < 8; r++) cpu_regs[r] = 0x80000001u * uint32_t(r + 1);
                cpu_regs[1] = IRAM_BASE + 0x1000 + misalign;
                cpu_regs[2] = offset;
                cpu_regs[13] = IRAM_BASE + 0x4000 + misalign;
                cpu_regs[14] = 0x08000000 | offset | misalign;
                for (uint32_t i = 0; i < 0x100; i += 4)
                    mem_write32(IRAM_BASE + 0x1000 + i, 0x8091A2B3u * (i + 1));
                ASSERT_EQ(compare_block().differences, "")
                    << std::hex << "form " << form.back() << " base + " << misalign << " offset "
                    << offset;
            }
        }
    }
}

// Flags a native instruction leaves for a later one, and the ones it hides:
// the liveness pass decides which are stored.
TEST_F(ThumbDifferentialTest, FlagsAcrossABlock) {
    const std::vector<std::vector<uint16_t>> blocks = {
        {0x1888, 0x4148, 0xD000},  // ADDS r0, r1, r2; ADC r0, r1; BEQ
        {0x0FC8, 0x2001, 0xD200},  // LSRS r0, r1, #31; MOVS r0, #1 (keeps C); BCS
        {0x0008, 0x4360, 0xD300},  // LSLS r0, r1, #0 (keeps C); MULS r0, r4; BCC
        {0x4248, 0x4188, 0xD600},  // NEGS r0, r1; SBCS r0, r1; BVS
        {0x4288, 0x41C8, 0xDC00},  // CMP r0, r1; RORS r0, r1 (the handler); BGT
        {0x42C8, 0x0000, 0xD900},  // CMN r0, r1; MOVS r0, r0; BLS
    };
    for (const auto& block : blocks)
        for (const auto& v : VALUES)
            for (uint32_t nzcv = 0; nzcv < 16; nzcv++)
                ASSERT_EQ(compare(block, v, nzcv), "") << std::hex << block[0] << " " << nzcv;
}

// --- Random streams ------------------------------------------------------

// Destinations r0-r3 and r5 only: r4 (a small offset), r6 and r7 (bases in
// internal RAM) and SP keep the loads and stores there. No write of r15
// other than branches forward within the stream (backward ones when
// `backward`, for the chained runs, whose budgets end them).
class ThumbGenerator {
   public:
    ThumbGenerator(uint32_t seed, bool backward) : rng_(seed), backward_(backward) {}

    uint16_t next(uint32_t index, uint32_t length) {
        switch (pick(14)) {
            case 0: return uint16_t(pick(3) << 11 | pick(32) << 6 | low() << 3 | dest());
            case 1: return uint16_t(0x1800 | pick(4) << 9 | pick(8) << 6 | low() << 3 | dest());
            case 2: return uint16_t(0x2000 | pick(4) << 11 | dest() << 8 | pick(256));
            case 3:
            case 4: return uint16_t(0x4000 | pick(16) << 6 | low() << 3 | dest());
            case 5: return high_register();
            case 6: return uint16_t(0x5000 | pick(8) << 9 | 4 << 6 | base() << 3 | transfer_rd());
            case 7:
                return uint16_t(0x6000 | pick(6) << 11 | pick(32) << 6 | base() << 3 |
                                transfer_rd());
            case 8:
                if (pick(4) == 0) return uint16_t(0x4800 | transfer_rd() << 8 | pick(256));
                return uint16_t(0x9000 | pick(2) << 11 | transfer_rd() << 8 | pick(256));
            case 9:
                switch (pick(4)) {
                    case 0: return uint16_t(0xA000 | pick(2) << 11 | dest() << 8 | pick(256));
                    case 1: return uint16_t(0xB000 | pick(2) << 7 | pick(16));  // SP +/- up to 60
                    case 2: return uint16_t(0xB400 | pick(2) << 8 | list());    // PUSH
                    default: return uint16_t(0xBC00 | list());                  // POP
                }
            case 10: return uint16_t(0xC000 | pick(2) << 11 | base() << 8 | list());
            case 11:
            case 12: return branch(index, length);
            default: return uint16_t(0x4000 | pick(16) << 6 | low() << 3 | dest());
        }
    }
    uint32_t pick(uint32_t n) { return rng_() % n; }

   private:
    std::mt19937 rng_;
    bool backward_;
    uint32_t low() { return pick(8); }
    uint32_t dest() {
        static const uint32_t regs[] = {0, 1, 2, 3, 5};
        return regs[pick(5)];
    }
    uint32_t transfer_rd() { return dest(); }
    uint32_t base() { return 6 + pick(2); }
    uint32_t list() {
        uint32_t l = rng_() & 0x2F;  // r0-r3, r5
        return l ? l : 1;
    }
    // ADD/CMP/MOV with high registers: destinations r0-r3, r5, r8-r12 and
    // r14; sources anything, r15 included.
    uint16_t high_register() {
        static const uint32_t dests[] = {0, 1, 2, 3, 5, 8, 9, 10, 11, 12, 14};
        uint32_t op = pick(3), rd = dests[pick(11)], rs = pick(16);
        return uint16_t(0x4400 | op << 8 | (rd & 8) << 4 | rs << 3 | (rd & 7));
    }
    uint16_t branch(uint32_t index, uint32_t length) {
        int32_t target = int32_t(index) + 1 + int32_t(pick(4));
        if (backward_ && pick(2)) target = int32_t(pick(length));
        if (uint32_t(target) == index) target = int32_t(index) + 1;
        int32_t offset = target - int32_t(index) - 2;  // in halfwords, from A + 4
        if (pick(3) == 0) return uint16_t(0xE000 | (uint32_t(offset) & 0x7FF));
        return uint16_t(0xD000 | pick(14) << 8 | (uint32_t(offset) & 0xFF));
    }
};

std::vector<uint16_t> random_stream(uint32_t seed, uint32_t length, bool backward) {
    ThumbGenerator generator(seed, backward);
    std::vector<uint16_t> halfwords;
    for (uint32_t i = 0; i < length; i++) {
        if (generator.pick(20) == 0 && i + 1 < length) {  // BL forward by 0-6 halfwords
            uint32_t offset = 2 * generator.pick(4);
            halfwords.push_back(0xF000);
            halfwords.push_back(uint16_t(0xF800 | offset / 2));
            i++;
            continue;
        }
        halfwords.push_back(generator.next(i, length));
    }
    // A branch onto a BL's second half would run it as a first half, a
    // jump out of the stream: such branches go one halfword further.
    for (size_t i = 0; i < halfwords.size(); i++) {
        uint16_t& h = halfwords[i];
        bool conditional = (h >> 12) == 0xD, always = (h >> 11) == 0x1C;
        bool link = h == 0xF000;
        if (!conditional && !always && !link) continue;
        int32_t offset = conditional ? int8_t(h & 0xFF) : int32_t(uint32_t(h) << 21) >> 21;
        if (link) offset = halfwords[i + 1] & 0x7FF;
        size_t target = i + 2 + size_t(offset);
        if (link && target < halfwords.size() && (halfwords[target] >> 11) == 0x1F &&
            halfwords[target - 1] == 0xF000) {
            halfwords[i + 1]++;
            continue;
        }
        if (target > 0 && target < halfwords.size() && halfwords[target - 1] == 0xF000 &&
            (halfwords[target] >> 11) == 0x1F)
            h = uint16_t(h + 1);
    }
    return halfwords;
}

void random_start(uint32_t seed) {
    std::mt19937 rng(seed * 7919);
    for (int i = 0; i <= 14; i++) cpu_regs[i] = rng() % 4 ? rng() : rng() % 64;
    cpu_regs[4] = 4 * (rng() % 8);
    cpu_regs[6] = IRAM_BASE + 0x1000 + 4 * (rng() % 256);
    cpu_regs[7] = IRAM_BASE + 0x2000 + rng() % 1024;
    cpu_regs[13] = IRAM_BASE + 0x6000;
    flag_n = rng() & 1, flag_z = rng() & 1, flag_c = rng() & 1, flag_v = rng() & 1;
    for (uint32_t i = 0; i < IRAM_SIZE; i += 4) mem_write32(IRAM_BASE + i, rng());
}

TEST_F(ThumbDifferentialTest, RandomStreamsBlockByBlock) {
    constexpr uint32_t STREAMS = 300, LENGTH = 160;
    int blocks = 0;
    for (uint32_t seed = 1; seed <= STREAMS; seed++) {
        std::vector<uint16_t> program = random_stream(seed, LENGTH, false);
        for (int i = 0; i < 16; i++) program.push_back(THUMB_END_LOOP);
        load_thumb_program(program);
        random_start(seed);
        for (int block = 0; block < 400 && cpu_opcode != THUMB_END_LOOP; block++) {
            uint32_t start = cpu_regs[15] - 4;
            Outcome outcome = compare_block();
            ASSERT_EQ(outcome.differences, "")
                << "seed " << seed << " block at 0x" << std::hex << start << std::dec << " ("
                << outcome.steps << " steps)";
            blocks++;
        }
        ASSERT_EQ(cpu_opcode, THUMB_END_LOOP)
            << "seed " << seed << " ended at 0x" << std::hex << cpu_regs[15] - 4;
    }
    EXPECT_GT(blocks, int(STREAMS) * 10);
}

// The same start run twice by cpu_run under the same budgets, once with
// each method; internal RAM and the processor compared after every budget.
void compare_chained(uint32_t seed, int runs) {
    std::mt19937 rng(seed);
    ProcessorState interpreted = ProcessorState::capture();
    ProcessorState translated = interpreted;
    std::vector<uint8_t> interpreted_ram(iram, iram + IRAM_SIZE), translated_ram = interpreted_ram;
    for (int run = 0; run < runs; run++) {
        uint32_t budget = 1 + rng() % 300;
        uint32_t extra = rng() % 3 ? 0 : 2;
        std::copy(translated_ram.begin(), translated_ram.end(), iram);
        translated.restore(Method::Dynarec);
        uint64_t before = steps_taken;
        cpu_run(budget, extra);
        uint64_t translated_steps = steps_taken - before;
        translated = ProcessorState::capture();
        translated_ram.assign(iram, iram + IRAM_SIZE);

        std::copy(interpreted_ram.begin(), interpreted_ram.end(), iram);
        interpreted.restore(Method::Interpretative);
        before = steps_taken;
        cpu_run(budget, extra);
        uint64_t interpreted_steps = steps_taken - before;
        interpreted = ProcessorState::capture();
        interpreted_ram.assign(iram, iram + IRAM_SIZE);

        ASSERT_EQ(translated_steps, interpreted_steps) << "seed " << seed << " run " << run;
        ASSERT_EQ(translated.differences(interpreted), "")
            << "seed " << seed << " run " << run << " budget " << budget << " extra " << extra;
        ASSERT_TRUE(translated_ram == interpreted_ram) << "seed " << seed << " run " << run;
    }
}

TEST_F(ThumbDifferentialTest, ChainedBlocksUnderRandomBudgets) {
    constexpr uint32_t STREAMS = 80, LENGTH = 64;
    for (uint32_t seed = 1; seed <= STREAMS; seed++) {
        std::vector<uint16_t> program = random_stream(seed, LENGTH, true);
        program.push_back(uint16_t(0xE000 | ((0u - (LENGTH + 2)) & 0x7FF)));  // B to the start
        load_thumb_program(program);
        random_start(seed);
        compare_chained(seed, 40);
        if (HasFatalFailure()) return;
    }
}

// ARM code calls Thumb code through BX, which calls a Thumb routine by BL,
// stores a new instruction over the one after the store, and returns to
// ARM code through BX; round and round, on the one clock.
TEST_F(ThumbDifferentialTest, InterworkingAndRewrittenCodeChained) {
    std::vector<uint32_t> words(0x400 / 4, 0);
    // ARM, in internal RAM's copy at 0x03000000 (see below).
    words[0] = 0xE2800001;  // loop: ADD r0, r0, #1
    words[1] = 0xE28F10F8;  // ADD r1, pc, #0xF8: 0x03000104
    words[2] = 0xE2811001;  // ADD r1, r1, #1: Thumb
    words[3] = 0xE12FFF11;  // BX r1
    words[4] = 0xEAFFFFFA;  // B loop (the Thumb code returns here)
    const std::vector<uint16_t> thumb = {
        0x0000, 0x0000,  // 0x100: not run
        0x3201,          // 0x104: ADDS r2, #1
        0xF000, 0xF809,  // BL 0x11C
        0x4B03,          // LDR r3, [pc, #12]: the new instruction
        0x4C04,          // LDR r4, [pc, #16]: where it goes
        0x8023,          // STRH r3, [r4]
        0x3501,          // 0x110: ADDS r5, #1, rewritten to ADDS r5, #2
        0x4738,          // BX r7: back to ARM code
        0x46C0, 0x46C0,  // NOP
        0x3502, 0x0000,  // 0x118: the new instruction
        0x3601,          // 0x11C: ADDS r6, #1
        0x4770,          // BX lr: back after the BL, in Thumb state
        0x0110, 0x0300,  // 0x120: 0x03000110
    };
    for (size_t i = 0; i < thumb.size(); i += 2)
        words[0x40 + i / 2] = thumb[i] | (i + 1 < thumb.size() ? uint32_t(thumb[i + 1]) << 16 : 0);
    for (uint32_t seed = 1; seed <= 20; seed++) {
        load_test_image({});
        for (size_t i = 0; i < words.size(); i++) mem_write32(IRAM_BASE + 4 * i, words[i]);
        cpu_regs[7] = IRAM_BASE + 0x10;  // ARM: B loop
        for (int r : {0, 2, 5, 6}) cpu_regs[r] = 0;
        enter_arm(IRAM_BASE);
        arm_refill();
        compare_chained(seed, 60);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(cpu_regs[6], 0u);  // the BL ran
}

}  // namespace

#endif
