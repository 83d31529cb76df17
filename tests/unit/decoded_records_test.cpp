// The interpreter's run loop executes decoded records (cpu/decoded.h); the
// single step (arm_step, thumb_step) executes the latched word through the
// decoding table. Random streams of the forms that have records run both
// ways from the same state and must agree, with some of their accesses
// through the bus; budgets of a line run as many steps, taking as many
// cycles, as the plain loop of single steps (on cartridges, on streams
// across a page's end with BL and calls of ARM code, and on calls and
// returns between pages); code rewritten by every kind of store (the
// processor's, through a mirror, by DMA3) must run as rewritten; pages
// that share a set of records must each run their own code.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/decoded.h"
#include "cpu/thumb.h"
#include "processor_state.h"
#include "shell/cartridge.h"
#include "video/video.h"

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
        if (pending_) return std::exchange(pending_, 0);
        uint32_t word = any_instruction();
        since_jump_ = (word & 0x0E000000) == 0x0A000000 ? 0 : since_jump_ + 1;
        return word;
    }

   private:
    std::mt19937 rng_;
    uint32_t pending_ = 0;     // the BX of a pair
    uint32_t since_jump_ = 0;  // words since the last one that jumps forward

    uint32_t any_instruction() {
        switch (pick(10)) {
            case 0: return data_processing_register();
            case 1: return data_processing_shifted();
            case 2: return data_processing_immediate();
            case 3:
            case 4: return word_transfer();
            case 5: return halfword_transfer();
            case 6: return block_transfer();
            case 7: return pick(2) ? multiply() : data_processing_by_register();
            case 8: return since_jump_ >= 4 ? branch_exchange() : branch();
            default: return branch();
        }
    }
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
    // Rs r15 too, which the table's handler runs.
    uint32_t data_processing_by_register() {
        return data_processing(any_reg() << 8 | pick(4) << 5 | 0x10 | any_reg());
    }
    // Every multiply, short and long; Rm or Rs r15 now and then.
    uint32_t multiply() {
        static const uint32_t his[] = {0, 1, 2, 3, 8, 9, 10, 11, 12, 13, 14, 15};
        return cond() | his[pick(12)] << 20 | writable() << 16 | writable() << 12 | any_reg() << 8 |
               0x90 | any_reg();
    }
    // ADD r13, PC, #4k; BX<c> r13: on 0-3 words past the BX. Only where no
    // jump of the four words before reaches, so that nothing lands on the BX
    // alone.
    uint32_t branch_exchange() {
        pending_ = cond() | 0x012FFF1D;
        since_jump_ = 0;
        return 0xE28FD000 | 4 * pick(4);
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
    // LDM and STM in every addressing mode, with and without write-back and S;
    // the base sometimes in the list, STM sometimes with r15 (both left to
    // the table's handlers with write-back), lists across page ends (the
    // bases start unaligned or near one).
    uint32_t block_transfer() {
        uint32_t load = pick(2), rn = base(), list = 0;
        for (int i = 0, n = 1 + pick(6); i < n; i++) list |= 1u << writable();
        if (pick(4) == 0) list |= 1u << rn;
        if (!load && pick(4) == 0) list |= 1u << 15;
        if (load && (list >> rn) & 1) list &= ~(1u << rn);  // a loaded base moves away
        uint32_t s = pick(8) == 0;  // the User bank, which System mode shares
        return cond() | 0x08000000 | pick(4) << 23 | s << 22 | pick(2) << 21 | load << 20 |
               rn << 16 | list;
    }
    // Forward, at most three words past the next instruction; BL too.
    uint32_t branch() { return cond() | 0x0A000000 | pick(2) << 24 | pick(4); }
};

class ThumbStream {
   public:
    explicit ThumbStream(uint32_t seed) : rng_(seed) {}

    uint16_t next() {
        uint32_t low = rd() | pick(8) << 3;
        switch (pick(11)) {
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
            case 8:
                return uint16_t(0xD000 | pick(14) << 8 | pick(3));  // B<cond>, forward
            // PUSH {list{, LR}}, POP {list} of r0-r4
            case 9:
                return uint16_t(pick(2) ? 0xB400 | pick(2) << 8 | pick(256) : 0xBC00 | pick(32));
            default: return uint16_t(0xE000 | pick(3));  // B, forward
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

    // Accesses from `from` up to `to` take the bus: the record forms then
    // leave their instructions to the table's handlers.
    static void without_fast_pages(uint32_t from, uint32_t to) {
        for (uint32_t page = fast_page_index(from); page < fast_page_index(to); page++)
            fast_read_pages[page] = fast_write_pages[page] = 0;
    }

    // From the same state, one budget run by the plain loop of single steps
    // and by cpu_run; returns what differs (steps, cycles, state), or
    // nothing, and leaves cpu_run's state.
    std::string compare_budget(uint32_t budget, uint32_t extra);

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
        if (rng() % 4 == 0) cpu_regs[BASE_A] = 0x03401000 - 4 * (rng() % 8);
        if (seed % 3 == 0) without_fast_pages(0x037F0000, 0x03810000);
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
        if (seed % 3 == 0) without_fast_pages(0x03004000, 0x03007000);
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

// --- The clock: the run loop against the plain loop of single steps --------

// One step at a time while the cycles spent are below the budget, each
// step's cycles plus `extra`: the rule cpu_run keeps, without records.
uint32_t plain_run(uint32_t budget, uint32_t extra) {
    uint32_t sum = 0;
    while (sum < budget) {
        sum += (in_thumb_state() ? thumb_step() : arm_step()) + extra;
        steps_taken++;
    }
    return sum;
}

// What one budget did: its steps and cycles and the state it left.
struct LineRun {
    uint64_t steps;
    uint32_t cycles;
    ProcessorState cpu;
    uint64_t iram_hash;
};

uint64_t iram_hash() {
    uint64_t hash = 0xCBF29CE484222325;
    for (uint32_t i = 0; i < IRAM_SIZE; i += 8) {
        uint64_t word;
        std::memcpy(&word, iram + i, 8);
        hash = (hash ^ word) * 0x100000001B3;
    }
    return hash;
}

std::vector<LineRun>* line_log;
uint32_t (*line_runner)(uint32_t budget, uint32_t extra);

void logged_run(uint32_t budget, uint32_t extra) {
    uint64_t before = steps_taken;
    uint32_t cycles = line_runner(budget, extra);
    line_log->push_back({steps_taken - before, cycles, ProcessorState::capture(), iram_hash()});
}

// Every budget of `frames` frames of the cartridge, run by `runner`; work
// RAM as the last frame leaves it.
std::vector<LineRun> cartridge_lines(const std::string& path, int frames,
                                     uint32_t (*runner)(uint32_t, uint32_t),
                                     std::vector<uint8_t>& work_ram) {
    std::vector<LineRun> log;
    // A load leaves work RAM and internal RAM as they were: both runs
    // start from them cleared.
    std::memset(wram, 0, WRAM_SIZE);
    std::memset(iram, 0, IRAM_SIZE);
    EXPECT_FALSE(read_rom_file(path.c_str())) << path << ": " << rom_load_error;
    console_reset();
    line_log = &log;
    line_runner = runner;
    processor_run = logged_run;
    for (int frame = 0; frame < frames; frame++) frame_run();
    work_ram.assign(wram, wram + WRAM_SIZE);
    return log;
}

TEST_F(DecodedRecordsTest, CartridgeLinesRunAsThePlainStepsRunThem) {
#ifndef CART_DIR
    GTEST_SKIP() << "no cartridges (no ARM cross compiler)";
#else
    constexpr int FRAMES = 2;
    constexpr size_t BUDGETS_PER_FRAME = 2 * VISIBLE_LINES + VBLANK_LINES;
    for (const char* name : {"workload_thumb_o2", "thumb_branch", "workload"}) {
        SCOPED_TRACE(name);
        std::string path = std::string(CART_DIR) + "/" + name + ".gba";
        std::vector<uint8_t> plain_ram, run_ram;
        std::vector<LineRun> plain = cartridge_lines(path, FRAMES, plain_run, plain_ram);
        std::vector<LineRun> run = cartridge_lines(path, FRAMES, cpu_run, run_ram);
        ASSERT_EQ(run.size(), plain.size());
        size_t first = 0;  // the first budget that differs
        while (first < run.size() && run[first].steps == plain[first].steps &&
               run[first].cycles == plain[first].cycles &&
               run[first].cpu.differences(plain[first].cpu).empty() &&
               run[first].iram_hash == plain[first].iram_hash)
            first++;
        if (first < run.size()) {
            const LineRun &a = run[first], &b = plain[first];
            ADD_FAILURE() << "frame " << first / BUDGETS_PER_FRAME << ", budget "
                          << first % BUDGETS_PER_FRAME << ": steps " << a.steps << "/" << b.steps
                          << " cycles " << a.cycles << "/" << b.cycles << a.cpu.differences(b.cpu)
                          << (a.iram_hash != b.iram_hash ? " iram" : "");
        }
        EXPECT_TRUE(run_ram == plain_ram);
    }
#endif
}

// ThumbStream's instructions with BL pairs (to up to three instructions
// past the pair), calls of ARM code (ADD r0, PC, #4; BX r0 to ADD r0, PC,
// #1; BX r0 back) and now and then a conditional branch back to one of
// the four instructions before it, for code that starts at `at`. No jump
// lands inside a pair or a call: those come only where no jump of the
// four halfwords before them reaches.
std::vector<uint16_t> interworking_stream(uint32_t seed, uint32_t at, size_t length) {
    ThumbStream stream(seed);
    std::mt19937 rng(seed);
    std::vector<uint16_t> halves;
    std::vector<bool> plain;  // by halfword: a ThumbStream instruction
    uint32_t since_jump = 0;  // halfwords since the last one that jumps forward
    auto here = [&] { return at + 2 * uint32_t(halves.size()); };
    auto add = [&](uint16_t half, bool is_plain) {
        halves.push_back(half);
        plain.push_back(is_plain);
        since_jump++;
    };
    auto add_from_stream = [&] {
        uint16_t half = stream.next();
        add(half, true);
        if ((half & 0xF000) == 0xD000 || (half & 0xF800) == 0xE000) since_jump = 0;
    };
    while (halves.size() < length) {
        uint32_t choice = rng() % 16;
        if (choice <= 2 && since_jump < 4) choice = 15;
        switch (choice) {
            case 0:
            case 1:
                add(0xF000, false);
                add(uint16_t(0xF800 | rng() % 4), false);
                since_jump = 0;
                break;
            case 2: {
                uint32_t arm_at = ((here() + 4) & ~3u) + 4;  // where ADD r0, PC, #4 points
                add(0xA001, false);
                add(0x4700, false);
                while (here() < arm_at) add(0x46C0, false);  // never runs
                for (uint32_t word : {0xE28F0001u, 0xE12FFF10u}) {
                    add(uint16_t(word), false);
                    add(uint16_t(word >> 16), false);
                }
                break;
            }
            case 3: {
                uint32_t back = 1 + rng() % 4;
                if (halves.size() >= back && plain[halves.size() - back]) {
                    add(uint16_t(0xD000 | (rng() % 14) << 8 | ((-2 - back) & 0xFF)), false);
                    break;
                }
                add_from_stream();
                break;
            }
            default: add_from_stream();
        }
    }
    return halves;
}

TEST_F(DecodedRecordsTest, ThumbBudgetsAcrossAPageEndRunAsThePlainStepsRunThem) {
    constexpr int STREAMS = 150, LINES = 40;
    constexpr size_t LENGTH = 700;
    for (uint32_t seed = 1; seed <= STREAMS; seed++) {
        std::mt19937 rng(seed * 104729);
        // In work RAM, so that the streams' stores (to internal RAM) leave
        // the code alone; across one of its page ends.
        const uint32_t at = 0x02000000 + 2 * FAST_PAGE_SIZE - 2 * (rng() % LENGTH);
        std::vector<uint16_t> halves = interworking_stream(seed, at, LENGTH);
        for (int i = 0; i < 8; i++) halves.push_back(THUMB_SPIN);
        for (size_t i = 0; i < halves.size(); i++) mem_write16(at + 2 * uint32_t(i), halves[i]);
        randomise_registers(rng);
        cpu_regs[ThumbStream::OFFSET_REG_LOW] = rng() % 32;
        cpu_regs[6] = 0x03000400 + rng() % 1024;
        cpu_regs[7] = 0x03004000 + rng() % 1024;
        cpu_regs[13] = 0x03006000 + 4 * (rng() % 64);
        cpu_regs[15] = at;
        cpu_cpsr |= CPSR_T;
        thumb_refill();
        for (int line = 0; line < LINES; line++) {
            const uint32_t budget = rng() % 4 ? 1 + rng() % 400 : 1 + rng() % 8;
            std::string diff = compare_budget(budget, rng() % 3);
            ASSERT_EQ(diff, "") << "seed " << seed << ", line " << line;
        }
    }
}

TEST_F(DecodedRecordsTest, ArmBudgetsAcrossAPageEndRunAsThePlainStepsRunThem) {
    constexpr int STREAMS = 150, LINES = 30, LENGTH = 400;
    for (uint32_t seed = 1; seed <= STREAMS; seed++) {
        ArmStream stream(seed);
        std::mt19937 rng(seed * 104729);
        const uint32_t at = 0x02000000 + 2 * FAST_PAGE_SIZE - 4 * (rng() % LENGTH);
        for (int i = 0; i < LENGTH; i++) mem_write32(at + 4 * i, stream.next());
        for (int i = 0; i < 8; i++) mem_write32(at + 4 * (LENGTH + i), ARM_SPIN);
        randomise_registers(rng);
        cpu_regs[OFFSET_REG] = 4 * (rng() % 8);
        cpu_regs[BASE_A] = 0x03400000 + 4 * (rng() % 256);
        cpu_regs[BASE_B] = 0x03800000 + rng() % 1024;
        cpu_regs[15] = at;
        arm_refill();
        for (int line = 0; line < LINES; line++) {
            const uint32_t budget = rng() % 4 ? 1 + rng() % 800 : 1 + rng() % 8;
            std::string diff = compare_budget(budget, rng() % 3);
            ASSERT_EQ(diff, "") << "seed " << seed << ", line " << line;
        }
    }
}

// A loop in one page of work RAM that calls routines in two others (BL
// there, BX lr and LDMIA sp!, {r4, pc} back), one in palette RAM, which
// has no fast read entry (MOV lr, pc; BX r6), one in Thumb code (which
// calls Thumb code in the next page, back by POP {pc}) and one that runs
// over internal RAM's end into its mirror:
// budgets that stop anywhere on the way run as the plain steps run them.
TEST_F(DecodedRecordsTest, BudgetsAcrossJumpsBetweenPagesRunAsThePlainStepsRunThem) {
    constexpr uint32_t MAIN = 0x02000000, ADD_ONE = 0x02001000, DOUBLE_INTO_R1 = 0x02002008;
    constexpr uint32_t IN_PALETTE = 0x05000000, IN_THUMB = 0x02003000, THUMB_FAR = 0x02004000;
    // The last two words of internal RAM: its mirror goes on past them,
    // the host's array does not.
    constexpr uint32_t OVER_THE_END = 0x03007FF8;
    auto bl = [](uint32_t from, uint32_t to) {
        return 0xEB000000 | ((to - from - 8) / 4 & 0xFFFFFF);
    };
    const uint32_t main_words[] = {
        0xE3A05028,                    // MOV r5, #40
        bl(MAIN + 4, ADD_ONE),         // loop: BL add_one
        bl(MAIN + 8, DOUBLE_INTO_R1),  // BL double_into_r1
        bl(MAIN + 12, OVER_THE_END),   // BL over_the_end
        0xE1A0E00F,                    // MOV lr, pc
        0xE12FFF16,                    // BX r6 (palette)
        0xE1A0E00F,                    // MOV lr, pc
        0xE12FFF17,                    // BX r7 (Thumb)
        0xE2555001,                    // SUBS r5, r5, #1
        0x1AFFFFF6,                    // BNE loop
        ARM_SPIN,
    };
    for (uint32_t i = 0; i < std::size(main_words); i++) mem_write32(MAIN + 4 * i, main_words[i]);
    mem_write32(ADD_ONE, 0xE2800001);              // ADD r0, r0, #1
    mem_write32(ADD_ONE + 4, 0xE12FFF1E);          // BX lr
    mem_write32(DOUBLE_INTO_R1, 0xE92D4010);       // STMDB sp!, {r4, lr}
    mem_write32(DOUBLE_INTO_R1 + 4, 0xE0804000);   // ADD r4, r0, r0
    mem_write32(DOUBLE_INTO_R1 + 8, 0xE0811004);   // ADD r1, r1, r4
    mem_write32(DOUBLE_INTO_R1 + 12, 0xE8BD8010);  // LDMIA sp!, {r4, pc}
    mem_write32(IN_PALETTE, 0xE2822001);           // ADD r2, r2, #1
    mem_write32(IN_PALETTE + 4, 0xE12FFF1E);       // BX lr
    // PUSH {lr}; BL thumb_far; POP {r4}; BX r4, and in the next page
    // thumb_far: PUSH {lr}; ADDS r3, #3; POP {pc}
    const uint16_t thumb_halves[] = {0xB500, 0xF000, 0xFFFD, 0xBC10, 0x4720};
    for (uint32_t i = 0; i < std::size(thumb_halves); i++)
        mem_write16(IN_THUMB + 2 * i, thumb_halves[i]);
    const uint16_t far_halves[] = {0xB500, 0x3303, 0xBD00};
    for (uint32_t i = 0; i < std::size(far_halves); i++)
        mem_write16(THUMB_FAR + 2 * i, far_halves[i]);
    mem_write32(OVER_THE_END, 0xE2888001);      // ADD r8, r8, #1
    mem_write32(OVER_THE_END + 4, 0xE2888001);  // ADD r8, r8, #1
    mem_write32(0x03000000, 0xE12FFF1E);        // BX lr, run at 0x03008000 through the mirror
    ASSERT_EQ(code_page_bytes(IN_PALETTE), nullptr);
    std::mt19937 rng(17);
    for (int round = 0; round < 20; round++) {
        SCOPED_TRACE(round);
        for (uint32_t i = 0; i <= 8; i++) cpu_regs[i] = 0;
        cpu_regs[6] = IN_PALETTE;
        cpu_regs[7] = IN_THUMB | 1;
        cpu_regs[13] = 0x03007F00;
        cpu_regs[15] = MAIN;
        cpu_cpsr &= ~CPSR_T;
        arm_refill();
        while (fetch_word(cpu_regs[15] - 8) != ARM_SPIN || in_thumb_state()) {
            const uint32_t budget = rng() % 4 ? 1 + rng() % 200 : 1 + rng() % 8;
            std::string diff = compare_budget(budget, rng() % 3);
            ASSERT_EQ(diff, "") << "pc 0x" << std::hex << cpu_regs[15];
        }
        EXPECT_EQ(cpu_regs[0], 40u);
        EXPECT_EQ(cpu_regs[1], 2u * (40 * 41 / 2));
        EXPECT_EQ(cpu_regs[2], 40u);
        EXPECT_EQ(cpu_regs[3], 120u);
        EXPECT_EQ(cpu_regs[8], 80u);
    }
}

std::string DecodedRecordsTest::compare_budget(uint32_t budget, uint32_t extra) {
    State before = State::capture();
    uint64_t start = steps_taken;
    uint32_t plain_cycles = plain_run(budget, extra);
    uint64_t plain_steps = steps_taken - start;
    State plain = State::capture();
    before.restore();
    start = steps_taken;
    uint32_t cycles = cpu_run(budget, extra);
    std::string out;
    if (steps_taken - start != plain_steps)
        out += " steps " + std::to_string(steps_taken - start) + "/" + std::to_string(plain_steps);
    if (cycles != plain_cycles)
        out += " cycles " + std::to_string(cycles) + "/" + std::to_string(plain_cycles);
    return out + State::capture().differences(plain);
}

}  // namespace
