// Stores over translated code drop exactly the blocks whose instructions
// they overwrote: data beside code keeps its blocks, every way into a
// dropped block (a linked exit, the indirect table, the cache) leads to the
// new code, and both methods end in the same state.
#include <gtest/gtest.h>

#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"
#include "processor_state.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/block_cache.h"

namespace {

constexpr uint32_t ROM = 0x08000000;

// A few instructions by name, for the tables below.
constexpr uint32_t MOV_R0(uint32_t n) { return 0xE3A00000 | n; }
constexpr uint32_t MOV_R1(uint32_t n) { return 0xE3A01000 | n; }
constexpr uint32_t ADD_R4(uint32_t n) { return 0xE2844000 | n; }
constexpr uint32_t ADD_R5(uint32_t n) { return 0xE2855000 | n; }
constexpr uint32_t RETURN = 0xE1A0F00E;  // MOV pc, lr
// B from `from` to `to`.
constexpr uint32_t branch(uint32_t from, uint32_t to) {
    return 0xEA000000 | (((to - from - 8) >> 2) & 0xFFFFFF);
}

class InvalidationTest : public ConsoleTest {
   protected:
    // Blocks are translated the first time the run loop meets them, so
    // that cpu_run runs translated code from its first turn.
    void SetUp() override {
        ConsoleTest::SetUp();
        cpu_method = Method::Dynarec;
        dynarec_translate_after(1);
    }
    static void put(uint32_t address, const std::vector<uint32_t>& words) {
        for (size_t i = 0; i < words.size(); i++) mem_write32(address + 4 * uint32_t(i), words[i]);
    }
    static void start_at(uint32_t address) {
        cpu_regs[15] = address;
        arm_refill();
    }
    // Runs the routine at `address` as one call (it returns to the image,
    // where the step stops) and gives r0.
    static uint32_t call(uint32_t address) {
        cpu_regs[14] = ROM;
        start_at(address);
        for (int steps = 0; cpu_regs[15] != ROM + 8; steps++) {
            if (steps == 100) ADD_FAILURE() << "the routine did not return";
            if (steps == 100) break;
            dynarec_step();
        }
        return cpu_regs[0];
    }
};

// A loop keeps a running sum in memory next to its code:
//   code + 0x00  LDR r1, [r2]
//          0x04  ADD r1, r1, r0
//          0x08  STR r1, [r2]
//          0x0C  SUBS r0, r0, #1
//          0x10  BNE code
//          0x14  B .
// r2 points at the word after the B, or before the loop, possibly through
// another mirror. Every turn stores into the page of its code, and nothing
// is translated again.
TEST_F(InvalidationTest, DataBesideCodeKeepsTheBlocks) {
    struct Case {
        const char* where;
        uint32_t code;
        uint32_t data;
    };
    const Case cases[] = {
        {"internal RAM, the word after", 0x03000000, 0x03000018},
        {"internal RAM, the word before", 0x03000004, 0x03000000},
        {"internal RAM, through a mirror", 0x03000000, 0x03FF8018},
        {"work RAM", 0x02000000, 0x02000018},
        {"work RAM, bits 28-31 set", 0x02000000, 0xF2040018},
        {"video RAM, through its fold", 0x06010000, 0x06018018},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        load_test_image({});
        cpu_method = Method::Dynarec;
        put(c.code, {0xE5921000, 0xE0811000, 0xE5821000, 0xE2500001,
                     0x1A000000 | ((0u - 6) & 0xFFFFFF), 0xEAFFFFFE});
        mem_write32(c.data, 0);
        cpu_regs[0] = 100;
        cpu_regs[2] = c.data;
        start_at(c.code);
        uint64_t translated = blocks_translated, flushes = dynarec_flush_count;
        cpu_run(4000, 0);
        EXPECT_EQ(mem_read32(c.data), 5050u);  // 100 + 99 + ... + 1
        EXPECT_EQ(cpu_regs[0], 0u);
        EXPECT_EQ(cpu_regs[15], c.code + 0x14 + 8);
        EXPECT_EQ(blocks_translated - translated, 2u);  // the loop and the B .
        EXPECT_EQ(dynarec_flush_count, flushes);
    }
}

// A routine is rewritten through another mirror of its words, at every
// width: the next call runs the new instruction, and a routine beside it
// keeps its translation.
TEST_F(InvalidationTest, StoreThroughAMirrorRunsTheNewCode) {
    struct Case {
        const char* where;
        uint32_t run;
        uint32_t write;
    };
    const Case cases[] = {
        {"work RAM", 0x02000000, 0x02040000},
        {"work RAM, bits 28-31 set", 0x02000000, 0x52FC0000},
        {"internal RAM", 0x03000000, 0x03FF8000},
        {"video RAM, its fold", 0x06010000, 0x06018000},
        {"video RAM, run through the fold", 0x06018000, 0x06010000},
        {"the image", ROM + 0x100, 0x0A000100},
        {"the BIOS", 0x00000100, 0x01000100},
    };
    for (const Case& c : cases) {
        for (uint32_t width : {1u, 2u, 4u}) {
            SCOPED_TRACE(testing::Message() << c.where << ", " << width << " bytes");
            if (c.run < 0x02000000 && width != 4) continue;  // the BIOS takes words only
            load_test_image({});
            cpu_method = Method::Dynarec;
            put(c.run, {MOV_R0(1), RETURN});
            put(c.run + 0x40, {MOV_R0(7), RETURN});
            ASSERT_EQ(call(c.run), 1u);
            ASSERT_EQ(call(c.run + 0x40), 7u);
            const uint8_t* beside = cache_find(c.run + 0x40 + 8);
            uint64_t translated = blocks_translated;
            if (width == 1) mem_write8(c.write, 2);
            if (width == 2) mem_write16(c.write, 2);
            if (width == 4) mem_write32(c.write, MOV_R0(2));
            EXPECT_EQ(cache_find(c.run + 8), nullptr);
            EXPECT_EQ(call(c.run), 2u);
            EXPECT_EQ(call(c.run + 0x40), 7u);
            EXPECT_EQ(blocks_translated - translated, 1u);
            EXPECT_EQ(cache_find(c.run + 0x40 + 8), beside);
        }
    }
}

// A block A reaches a block T by a linked branch, a linked fall-through or
// the indirect table, and both loop:
//   A: ADD r5, r5, #1; <to T>        T: ADD r4, r4, #1; B A
// Then T's first instruction becomes ADD r4, r4, #16 from outside (as a
// DMA or the other processor state would write it): A, still the same
// translation, now reaches the new T. Both methods agree throughout.
TEST_F(InvalidationTest, BlockLinkedFromAnotherRunsNewOnceOverwritten) {
    constexpr uint32_t A = 0x02000000;
    struct Case {
        const char* way;
        std::vector<uint32_t> a;  // from A + 4 on
        uint32_t t;
    };
    const Case cases[] = {
        {"B", {branch(A + 4, A + 0x100)}, A + 0x100},
        {"fall-through", {0xE3550000, 0x0A00003F}, A + 12},  // CMP r5, #0; BEQ (never)
        {"BX", {0xE12FFF16}, A + 0x100},                     // BX r6
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        ProcessorState end[2];
        uint64_t steps[2];
        for (Method method : {Method::Interpretative, Method::Dynarec}) {
            load_test_image({});
            put(A, {ADD_R5(1)});
            put(A + 4, c.a);
            put(c.t, {ADD_R4(1), branch(c.t + 4, A)});
            for (uint32_t r = 0; r < 16; r++) cpu_regs[r] = 0;
            cpu_regs[6] = c.t;
            cpu_method = method;
            start_at(A);
            uint64_t before = steps_taken;
            for (int line = 0; line < 4; line++) cpu_run(1232, 0);
            const uint8_t* linking = cache_find(A + 8);
            mem_write32(c.t, ADD_R4(16));
            uint32_t r4 = cpu_regs[4], r5 = cpu_regs[5];
            for (int line = 0; line < 4; line++) cpu_run(1232, 0);
            int m = method == Method::Dynarec;
            end[m] = ProcessorState::capture();
            steps[m] = steps_taken - before;
            // Every turn after the store adds 16: the one under way when it
            // came and the last one may have done one half.
            int64_t turns = cpu_regs[5] - r5, added = cpu_regs[4] - r4;
            EXPECT_GT(turns, 100);
            EXPECT_GE(added, 16 * (turns - 1));
            EXPECT_LE(added, 16 * (turns + 1));
            EXPECT_EQ(added % 16, 0);
            if (method == Method::Dynarec) {
                EXPECT_NE(linking, nullptr);
                EXPECT_EQ(cache_find(A + 8), linking);
            }
        }
        EXPECT_EQ(steps[0], steps[1]);
        EXPECT_EQ(end[0].differences(end[1]), "");
    }
}

// The running block rewrites the instruction it runs next, turn after turn:
//   0x02000000  STR r1, [r2]     r2 = 0x02000004
//   0x02000004  ADD r4, r4, #1   becomes ADD r4, r4, r1's low byte...
//   0x02000008  ADD r1, r1, #1   ... one more every turn
//   0x0200000C  SUBS r0, r0, #1
//   0x02000010  BNE 0x02000000
//   0x02000014  B .
// r4 = 2 + 3 + ... + 11 after ten turns. The routine beside it keeps its
// translation.
TEST_F(InvalidationTest, StoreIntoTheNextInstructionEveryTurn) {
    put(0x02000000, {0xE5821000, ADD_R4(1), 0xE2811001, 0xE2500001,
                     0x1A000000 | ((0u - 6) & 0xFFFFFF), 0xEAFFFFFE});
    put(0x02000100, {MOV_R0(7), RETURN});
    ASSERT_EQ(call(0x02000100), 7u);
    const uint8_t* beside = cache_find(0x02000108);
    cpu_regs[0] = 10;
    cpu_regs[1] = ADD_R4(2);
    cpu_regs[2] = 0x02000004;
    cpu_regs[4] = 0;
    start_at(0x02000000);
    cpu_run(1000, 0);
    EXPECT_EQ(cpu_regs[4], 65u);  // 2 + 3 + ... + 11
    EXPECT_EQ(cpu_regs[15], 0x02000014u + 8);
    EXPECT_EQ(cache_find(0x02000108), beside);
}

// A DMA3 copy over a routine of two blocks: the next call runs what was
// copied. A copy over the data word after it keeps both blocks.
//   MOV r0, #n; B +0 (the next word); MOV r1, #m; MOV pc, lr; data word
TEST_F(InvalidationTest, DmaCopyOverTranslatedCode) {
    constexpr uint32_t CODE = 0x03000000, NEW = 0x02001000, IO = 0x04000000;
    auto routine = [](uint32_t n, uint32_t m) {
        return std::vector<uint32_t>{MOV_R0(n), branch(CODE + 4, CODE + 8), MOV_R1(m), RETURN};
    };
    auto dma = [](uint32_t source, uint32_t dest, uint32_t halfwords) {
        mem_write32(IO + 0xD4, source);
        mem_write32(IO + 0xD8, dest);
        mem_write32(IO + 0xDC, halfwords);
    };
    put(CODE, routine(1, 2));
    EXPECT_EQ(call(CODE), 1u);
    EXPECT_EQ(cpu_regs[1], 2u);

    const uint8_t* first = cache_find(CODE + 8);
    const uint8_t* second = cache_find(CODE + 16);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    mem_write32(NEW, 0x12345678);
    dma(NEW, CODE + 16, 2);
    EXPECT_EQ(cache_find(CODE + 8), first);
    EXPECT_EQ(cache_find(CODE + 16), second);

    put(NEW, routine(3, 4));
    dma(NEW, CODE, 8);
    EXPECT_EQ(cache_find(CODE + 8), nullptr);
    EXPECT_EQ(cache_find(CODE + 16), nullptr);
    EXPECT_EQ(call(CODE), 3u);
    EXPECT_EQ(cpu_regs[1], 4u);

    // Only the second block's words.
    put(NEW, {MOV_R1(5)});
    first = cache_find(CODE + 8);
    dma(NEW, CODE + 8, 2);
    EXPECT_EQ(cache_find(CODE + 8), first);
    EXPECT_EQ(call(CODE), 3u);
    EXPECT_EQ(cpu_regs[1], 5u);
}

// Blocks entered at different places of the same code overlap: a store
// drops those whose instructions include its word and no other.
//   0x02000000  MOV r0, #1
//   0x02000004  MOV r1, #2
//   0x02000008  MOV r0, #3       blocks from 0, 4 and 8 all end at the
//   0x0200000C  MOV pc, lr       return; one from 0xC is the return alone
TEST_F(InvalidationTest, OverlappingBlocksAreDroppedByTheirOwnWords) {
    constexpr uint32_t CODE = 0x02000000;
    struct Case {
        uint32_t store;
        bool dropped[4];  // the blocks from CODE, + 4, + 8, + 0xC
    };
    const Case cases[] = {
        {CODE, {true, false, false, false}},         {CODE + 4, {true, true, false, false}},
        {CODE + 8, {true, true, true, false}},       {CODE + 0xC, {true, true, true, true}},
        {CODE + 0x10, {false, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.store - CODE);
        load_test_image({});
        cpu_method = Method::Dynarec;
        put(CODE, {MOV_R0(1), MOV_R1(2), MOV_R0(3), RETURN});
        const uint8_t* code[4];
        for (uint32_t b = 0; b < 4; b++) {
            cpu_regs[0] = 0;
            call(CODE + 4 * b);
            code[b] = cache_find(CODE + 4 * b + 8);
            ASSERT_NE(code[b], nullptr);
        }
        mem_write32(c.store, mem_read32(c.store));  // the same word: still a store over it
        for (uint32_t b = 0; b < 4; b++)
            EXPECT_EQ(cache_find(CODE + 4 * b + 8), c.dropped[b] ? nullptr : code[b]) << b;
    }
}

// A word rewritten before every call stops being translated: after a few
// calls nothing is translated any more, the blocks around it stay, and it
// runs on the interpreter. Once calls stop rewriting it, it is translated
// again.
//   R + 0x0  MOV r0, #0
//   R + 0x4  ADD r0, r0, #k      k = the call's number
//   R + 0x8  ADD r0, r0, #0x100
//   R + 0xC  MOV pc, lr
TEST_F(InvalidationTest, WordRewrittenBeforeEveryCallIsInterpreted) {
    constexpr uint32_t R = 0x03000100, WORD = R + 4;
    put(R, {MOV_R0(0), 0xE2800000, 0xE2800C01, RETURN});
    uint64_t translated = 0;
    const uint8_t* before = nullptr;
    for (uint32_t k = 1; k <= 40; k++) {
        SCOPED_TRACE(k);
        mem_write32(WORD, 0xE2800000 | k);
        ASSERT_EQ(call(R), 0x100 + k);
        if (k == 10) {
            translated = blocks_translated;
            before = cache_find(R + 8);
        }
    }
    EXPECT_EQ(blocks_translated, translated);
    EXPECT_EQ(cache_find(R + 8), before);
    EXPECT_EQ(cache_find(WORD + 8), nullptr);
    for (int i = 0; i < 100; i++) ASSERT_EQ(call(R), 0x100u + 40);
    EXPECT_NE(cache_find(WORD + 8), nullptr);
    mem_write32(WORD, 0xE2800000 | 41);
    EXPECT_EQ(cache_find(WORD + 8), nullptr);
    EXPECT_EQ(call(R), 0x100u + 41);
}

// The same word run through 1024 addresses (64 mirrors of work RAM times
// the 16 values of bits 28-31), each its own block: more blocks than a
// word's count holds. One store drops every one of them.
TEST_F(InvalidationTest, StoreDropsEveryMirrorOfAWord) {
    constexpr uint32_t WORD = 0x02000100;
    put(WORD, {MOV_R0(1), RETURN});
    std::vector<uint32_t> addresses;
    for (uint32_t high = 0; high < 16; high++)
        for (uint32_t mirror = 0; mirror < 64; mirror++)
            addresses.push_back(high << 28 | (WORD + mirror * 0x40000));
    for (uint32_t address : addresses) ASSERT_EQ(call(address), 1u) << std::hex << address;
    mem_write32(WORD, MOV_R0(2));
    for (uint32_t address : addresses)
        ASSERT_EQ(cache_find(address + 8), nullptr) << std::hex << address;
    for (uint32_t address : addresses) ASSERT_EQ(call(address), 2u) << std::hex << address;
    mem_write32(WORD + 4, RETURN);
    for (uint32_t address : addresses)
        ASSERT_EQ(cache_find(address + 8), nullptr) << std::hex << address;
}

}  // namespace

#endif
