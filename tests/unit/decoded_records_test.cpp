// The interpreter's run loop executes decoded records (cpu/decoded.h); the
// single step (arm_step, thumb_step) executes the latched word through the
// decoding table. Random streams of the forms that have records run both
// ways from the same state and must agree; code rewritten by every kind of
// store (the processor's, through a mirror, by DMA3) must run as rewritten;
// pages that share a set of records must each run their own code.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/decoded.h"
#include "cpu/thumb.h"
#include "processor_state.h"

namespace {

constexpr uint32_t ARM_SPIN = 0xEAFFFFFE;  // B .
constexpr uint16_t THUMB_SPIN = 0xE7FE;    // B .

// r11 and r12 hold base addresses in internal RAM and r9 a small offset;
// the streams read them and never write them.
constexpr uint32_t OFFSET_REG = 9, BASE_A = 11, BASE_B = 12;

class ArmStream {
   public:
    explicit ArmStream(uint32_t seed) : rng_(seed) {}

    uint32_t next() {
        switch (pick(7)) {
            case 0: return data_processing_register();
            case 1: return data_processing_shifted();
            case 2: return data_processing_immediate();
            case 3:
            case 4: return word_transfer();
            case 5: return halfword_transfer();
            default: return branch();
        }
    }

   private:
    std::mt19937 rng_;
    uint32_t pick(uint32_t n) { return rng_() % n; }
    uint32_t cond() { return pick(3) ? 0xE0000000 : pick(15) << 28; }
    uint32_t any_reg() { return pick(16); }
    uint32_t writable() {
        static const uint32_t regs[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14};
        return regs[pick(11)];
    }
    uint32_t base() { return pick(2) ? BASE_A : BASE_B; }
    uint32_t operation(uint32_t& s) {
        uint32_t op = pick(16);
        if (op >= 8 && op <= 11) s = 1;  // the compares exist only with S
        return op;
    }
    uint32_t data_processing(uint32_t operand2) {
        uint32_t s = pick(2), op = operation(s);
        return cond() | op << 21 | s << 20 | any_reg() << 16 | writable() << 12 | operand2;
    }
    uint32_t data_processing_register() { return data_processing(any_reg()); }
    // Every type and amount, #0 included (LSR #32, ASR #32, RRX).
    uint32_t data_processing_shifted() {
        return data_processing(pick(32) << 7 | pick(4) << 5 | any_reg());
    }
    uint32_t data_processing_immediate() {
        return data_processing(1u << 25 | pick(16) << 8 | pick(256));
    }
    // Every shape (P, W) and direction, immediate and register offsets.
    uint32_t word_transfer() {
        uint32_t load = pick(2), p = pick(2), w = p ? pick(2) : 0;
        uint32_t rd = load ? writable() : any_reg();
        uint32_t offset =
            pick(2) ? 1u << 25 | pick(4) << 7 | pick(4) << 5 | OFFSET_REG : pick(4096) & 0x3FC;
        return cond() | 1u << 26 | p << 24 | pick(2) << 23 | pick(2) << 22 | w << 21 | load << 20 |
               base() << 16 | rd << 12 | offset;
    }
    uint32_t halfword_transfer() {
        uint32_t load = pick(2), form = load ? 0xB0 | pick(3) << 5 : 0xB0;
        uint32_t rd = load ? writable() : any_reg();
        uint32_t p = pick(2), w = p ? pick(2) : 0;
        uint32_t offset = pick(2) ? 1u << 22 | pick(16) << 8 | (pick(16) & 0xE) : OFFSET_REG;
        return cond() | p << 24 | pick(2) << 23 | w << 21 | load << 20 | base() << 16 | rd << 12 |
               offset | form;
    }
    // Forward, at most three words past the next instruction; BL too.
    uint32_t branch() { return cond() | 0x0A000000 | pick(2) << 24 | pick(4); }
};

class ThumbStream {
   public:
    explicit ThumbStream(uint32_t seed) : rng_(seed) {}

    uint16_t next() {
        uint32_t low = rd() | pick(8) << 3;
        switch (pick(10)) {
            case 0: return uint16_t(pick(3) << 11 | pick(32) << 6 | low);         // shifts
            case 1: return uint16_t(0x1800 | pick(4) << 9 | pick(8) << 6 | low);  // add/sub
            case 2: return uint16_t(0x2000 | pick(4) << 11 | rd() << 8 | pick(256));
            case 3: return uint16_t(0x4000 | pick(16) << 6 | low);  // register ALU
            case 4: return high_register();
            case 5:
                return uint16_t(0x5000 | pick(8) << 9 | OFFSET_REG_LOW << 6 | base_low() << 3 |
                                rd());
            case 6:
                return uint16_t(0x6000 | pick(6) << 11 | pick(32) << 6 | base_low() << 3 |
                                rd());  // word, byte and halfword, immediate offsets
            case 7: return uint16_t(0x9000 | pick(2) << 11 | rd() << 8 | pick(64));  // SP
            case 8: return uint16_t(0xD000 | pick(14) << 8 | pick(3));  // B<cond>, forward
            default: return uint16_t(0xE000 | pick(3));                 // B, forward
        }
    }

    // r5 holds a small offset and r6, r7 base addresses in internal RAM.
    static constexpr uint32_t OFFSET_REG_LOW = 5;

   private:
    std::mt19937 rng_;
    uint32_t pick(uint32_t n) { return rng_() % n; }
    uint32_t base_low() { return pick(2) ? 6 : 7; }
    uint32_t rd() { return pick(5); }  // r5-r7 hold the offset and the bases
    // ADD, CMP, MOV with high registers; never r13 (the stack base) or r15
    // as a destination.
    uint16_t high_register() {
        static const uint32_t destinations[] = {0, 1, 2, 3, 4, 8, 9, 10, 11, 12, 14};
        uint32_t rd = destinations[pick(11)], op = pick(3);
        return uint16_t(0x4400 | op << 8 | (rd & 8) << 4 | pick(16) << 3 | (rd & 7));
    }
};

struct State {
    ProcessorState cpu;
    std::vector<uint8_t> ram;

    static State capture() {
        return {ProcessorState::capture(), std::vector<uint8_t>(iram, iram + IRAM_SIZE)};
    }
    void restore() const {
        cpu.restore(Method::Interpretative);
        std::memcpy(iram, ram.data(), IRAM_SIZE);
    }
    std::string differences(const State& o) const {
        std::string out = cpu.differences(o.cpu);
        if (ram != o.ram) out += " iram";
        return out;
    }
};

class DecodedRecordsTest : public ConsoleTest {
   protected:
    void randomise_registers(std::mt19937& rng) {
        for (int i = 0; i <= 14; i++) cpu_regs[i] = rng() % 4 ? rng() : rng() % 64;
        flag_n = rng() & 1, flag_z = rng() & 1, flag_c = rng() & 1, flag_v = rng() & 1;
        for (uint32_t i = 0; i < IRAM_SIZE; i += 4) mem_write32(0x03000000 + i, rng());
    }

    // From the same state, `steps` single steps against cpu_run over the
    // cycles of as many steps; returns what differs, or nothing.
    std::string compare_run(uint32_t steps, uint32_t cycles_per_step) {
        State before = State::capture();
        for (uint32_t i = 0; i < steps; i++) cpu_step();
        State stepped = State::capture();
        before.restore();
        cpu_run(steps * cycles_per_step, 0);
        return State::capture().differences(stepped);
    }
};

TEST_F(DecodedRecordsTest, ArmRecordsDoWhatTheTableHandlersDo) {
    constexpr int STREAMS = 200, LENGTH = 200;
    for (uint32_t seed = 1; seed <= STREAMS; seed++) {
        ArmStream stream(seed);
        std::vector<uint32_t> words;
        for (int i = 0; i < LENGTH; i++) words.push_back(stream.next());
        for (int i = 0; i < 8; i++) words.push_back(ARM_SPIN);
        load_test_image(words);
        std::mt19937 rng(seed * 7919);
        randomise_registers(rng);
        cpu_regs[OFFSET_REG] = 4 * (rng() % 8);
        // Mirrors of internal RAM far from its region's ends: write-back
        // moves the bases, but never out of the region.
        cpu_regs[BASE_A] = 0x03400000 + 4 * (rng() % 256);
        cpu_regs[BASE_B] = 0x03800000 + rng() % 1024;
        while (fetch_word(cpu_regs[15] - 8) != ARM_SPIN) {
            std::string diff = compare_run(1 + rng() % 24, ARM_CYCLES);
            ASSERT_EQ(diff, "") << "seed " << seed << ", pc 0x" << std::hex << cpu_regs[15];
        }
    }
}

TEST_F(DecodedRecordsTest, ThumbRecordsDoWhatTheTableHandlersDo) {
    constexpr int STREAMS = 200, LENGTH = 300;
    for (uint32_t seed = 1; seed <= STREAMS; seed++) {
        ThumbStream stream(seed);
        std::vector<uint16_t> halves;
        for (int i = 0; i < LENGTH; i++) halves.push_back(stream.next());
        for (int i = 0; i < 8; i++) halves.push_back(THUMB_SPIN);
        std::vector<uint32_t> words(halves.size() / 2);
        std::memcpy(words.data(), halves.data(), words.size() * 4);
        load_test_image(words);
        std::mt19937 rng(seed * 7919);
        randomise_registers(rng);
        cpu_regs[ThumbStream::OFFSET_REG_LOW] = rng() % 32;
        cpu_regs[6] = 0x03000400 + rng() % 1024;
        cpu_regs[7] = 0x03004000 + rng() % 1024;
        cpu_regs[13] = 0x03006000 + 4 * (rng() % 64);
        cpu_regs[15] = 0x08000000;
        cpu_cpsr |= CPSR_T;
        thumb_refill();
        while (fetch_halfword(cpu_regs[15] - 4) != THUMB_SPIN) {
            std::string diff = compare_run(1 + rng() % 40, THUMB_CYCLES);
            ASSERT_EQ(diff, "") << "seed " << seed << ", pc 0x" << std::hex << cpu_regs[15];
        }
    }
}

// Code at 0x02000000: a store, then MOV r4, #8 (or the word it stores),
// then B . . The records are decoded first with the store aimed away from
// the code; then the store rewrites the instruction after it, which must
// run as rewritten.
TEST_F(DecodedRecordsTest, ArmStoreIntoTheNextInstructionRunsTheNewOne) {
    constexpr uint32_t CODE_AT = 0x02000000, NEXT_AT = 0x02000004, SCRATCH = 0x02000200;
    constexpr uint32_t MOV_R4_8 = 0xE3A04008, MOV_R4_9 = 0xE3A04009;
    struct Case {
        const char* text;
        uint32_t store;
        uint32_t target;  // where the store goes in the second run
    } cases[] = {
        {"STR r1, [r2]", 0xE5821000, NEXT_AT},
        {"STR r1, [r2] through the work RAM mirror", 0xE5821000, NEXT_AT + 0x40000},
        {"STR r1, [r2] with address bits 28-31 set", 0xE5821000, NEXT_AT + 0x10000000},
        {"STMIA r2, {r1}", 0xE8820002, NEXT_AT},
        {"SWP r3, r1, [r2]", 0xE1023091, NEXT_AT},
        {"STRH r1, [r2] (the low half)", 0xE1C210B0, NEXT_AT},
        {"STRB r1, [r2] (the low byte)", 0xE5C21000, NEXT_AT},
        {"STR r1, [r5, #0xDC]: DMA3 copies the new word", 0xE58510DC, NEXT_AT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        bool dma = std::string(c.text).find("DMA3") != std::string::npos;
        mem_write32(CODE_AT, c.store);
        mem_write32(NEXT_AT, MOV_R4_8);
        mem_write32(NEXT_AT + 4, ARM_SPIN);
        mem_write32(SCRATCH, MOV_R4_9);  // DMA3's source
        for (uint32_t target : {SCRATCH + 0x10, c.target}) {
            cpu_regs[1] = dma ? 0x84000001u : MOV_R4_9;  // DMA3: one word, starting now
            cpu_regs[2] = target;
            cpu_regs[4] = 0;
            cpu_regs[5] = 0x04000000;
            mem_write32(0x040000D4, SCRATCH);
            mem_write32(0x040000D8, target);
            cpu_regs[15] = CODE_AT;
            arm_refill();
            cpu_run(40, 0);
        }
        EXPECT_EQ(cpu_regs[4], 9u);
        EXPECT_EQ(fetch_word(cpu_regs[15] - 8), ARM_SPIN);
    }
}

TEST_F(DecodedRecordsTest, ThumbStoreIntoTheNextInstructionRunsTheNewOne) {
    constexpr uint32_t CODE_AT = 0x03000000, NEXT_AT = 0x03000002;
    constexpr uint32_t MOVS_R4_8 = 0x2408, MOVS_R4_9 = 0x2409, STRH_R1_R2 = 0x8011;
    for (uint32_t target : {NEXT_AT, NEXT_AT + IRAM_SIZE}) {  // and through the mirror
        SCOPED_TRACE(target);
        mem_write16(CODE_AT, STRH_R1_R2);
        mem_write16(NEXT_AT, MOVS_R4_8);
        mem_write16(NEXT_AT + 2, THUMB_SPIN);
        cpu_cpsr |= CPSR_T;
        for (uint32_t to : {CODE_AT + 0x100, target}) {
            cpu_regs[1] = MOVS_R4_9;
            cpu_regs[2] = to;
            cpu_regs[4] = 0;
            cpu_regs[15] = CODE_AT;
            thumb_refill();
            cpu_run(20, 0);
        }
        EXPECT_EQ(cpu_regs[4], 9u);
    }
}

// Code written by the processor in one run, and run in the next, after its
// old words were decoded: DMA3 copies a routine over one that has run.
TEST_F(DecodedRecordsTest, CodeCopiedByDmaOverCodeThatRanRunsAsCopied) {
    constexpr uint32_t ROUTINE = 0x03000100, NEW_ROUTINE = 0x02000000;
    const uint32_t old_words[] = {0xE3A00001, 0xE12FFF1E};  // MOV r0, #1; BX lr
    const uint32_t new_words[] = {0xE3A00005, 0xE12FFF1E};  // MOV r0, #5; BX lr
    for (int i = 0; i < 2; i++) {
        mem_write32(ROUTINE + 4 * i, old_words[i]);
        mem_write32(NEW_ROUTINE + 4 * i, new_words[i]);
    }
    // In the image: call the routine, copy the new one over it by DMA3
    // (STMIA of source, destination, count and control), call it again.
    load_test_image({
        0xE3A04403,  // MOV r4, #0x03000000
        0xE2844C01,  // ADD r4, r4, #0x100
        0xE1A0E00F,  // MOV lr, pc
        0xE12FFF14,  // BX r4
        0xE1A06000,  // MOV r6, r0
        0xE59F0014,  // LDR r0, [pc, #20]: 0x040000D4
        0xE880000E,  // STMIA r0, {r1, r2, r3}
        0xE1A0E00F,  // MOV lr, pc
        0xE12FFF14,  // BX r4
        ARM_SPIN,
        0,
        0,
        0x040000D4,
    });
    cpu_regs[1] = NEW_ROUTINE;
    cpu_regs[2] = ROUTINE;
    cpu_regs[3] = 0x84000002;  // two words, starting now
    cpu_run(200, 0);
    EXPECT_EQ(cpu_regs[6], 1u);
    EXPECT_EQ(cpu_regs[0], 5u);
    EXPECT_EQ(fetch_word(cpu_regs[15] - 8), ARM_SPIN);
}

// Two pages of the image that share a set of records, calling each other:
// each instruction runs as its own page holds it.
TEST_F(DecodedRecordsTest, PagesSharingASetRunTheirOwnCode) {
    constexpr uint32_t OTHER = 0x08020000;
    ASSERT_EQ(arm_decoded_at(0x08000000), arm_decoded_at(OTHER));
    std::vector<uint32_t> words(0x8000 + 2, 0);
    const uint32_t caller[] = {
        0xE3A00000,  // MOV r0, #0
        0xE3A04302,  // MOV r4, #0x08000000
        0xE2844802,  // ADD r4, r4, #0x20000
        0xE3A05003,  // MOV r5, #3
        0xE1A0E00F,  // loop: MOV lr, pc
        0xE1A0F004,  // MOV pc, r4
        0xE2800001,  // ADD r0, r0, #1
        0xE2555001,  // SUBS r5, r5, #1
        0x1AFFFFFA,  // BNE loop
        ARM_SPIN,
    };
    std::memcpy(words.data(), caller, sizeof caller);
    words[0x8000] = 0xE2800064;      // ADD r0, r0, #100
    words[0x8000 + 1] = 0xE1A0F00E;  // MOV pc, lr
    load_test_image(words);
    cpu_run(400, 0);
    EXPECT_EQ(cpu_regs[0], 3u * 101);
    EXPECT_EQ(fetch_word(cpu_regs[15] - 8), ARM_SPIN);
}

}  // namespace
