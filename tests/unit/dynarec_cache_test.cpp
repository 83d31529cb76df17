// The translation cache, dynarec_step's memo, the emptying of both when the
// buffer fills or translated code is overwritten, and the method switches.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/block_cache.h"
#include "dynarec/decoded.h"
#include "dynarec/emitter.h"

namespace {

// Blocks as the cache sees them: places in the code buffer (never run).
uint8_t* block_at(uint32_t i) { return code_buffer + i; }

class CacheTest : public ::testing::Test {
   protected:
    void SetUp() override { cache_clear(); }
    void TearDown() override { cache_clear(); }
};

TEST_F(CacheTest, EmptyCacheFindsNothing) {
    for (uint32_t pc : {0u, 0x08000008u, 0xFFFFFFFFu, 0x03000108u})
        EXPECT_EQ(cache_find(pc), nullptr);
}

// Work RAM's 64 mirrors times 64 pages: 4096 keys with the same low 12 bits,
// each found with its own block, and keys that differ only in bits the
// mirrors leave alone are not confused with them.
TEST_F(CacheTest, KeysThatShareTheirLowBitsAreKeptApart) {
    auto key = [](uint32_t i) { return 0x02000808 + (i / 64) * 0x40000 + (i % 64) * 0x1000; };
    for (uint32_t i = 0; i < 4096; i++) cache_insert(key(i), block_at(i));
    for (uint32_t i = 0; i < 4096; i++) ASSERT_EQ(cache_find(key(i)), block_at(i)) << i;
    EXPECT_EQ(cache_find(0x03000808), nullptr);
    EXPECT_EQ(cache_find(0x12000808), nullptr);
    EXPECT_EQ(cache_find(0x02000804), nullptr);
}

TEST_F(CacheTest, WholeKeyIsCompared) {
    const uint32_t keys[] = {0x08000108, 0x18000108, 0x88000108, 0x08000109, 0x0800010A, 0};
    for (uint32_t i = 0; i < 6; i++) cache_insert(keys[i], block_at(i));
    for (uint32_t i = 0; i < 6; i++) EXPECT_EQ(cache_find(keys[i]), block_at(i)) << i;
    EXPECT_EQ(cache_find(0x08000104), nullptr);
}

TEST_F(CacheTest, HoldsItsCapacityAndClearingEmptiesIt) {
    for (int round = 0; round < 3; round++) {
        SCOPED_TRACE(round);
        uint32_t base = 0x02000008 + uint32_t(round) * 4;  // different keys each round
        for (uint32_t i = 0; i < CACHE_CAPACITY; i++) {
            EXPECT_FALSE(cache_full());
            cache_insert(base + i * 16, block_at(i % 4096));
        }
        EXPECT_TRUE(cache_full());
        for (uint32_t i = 0; i < CACHE_CAPACITY; i += 97)
            ASSERT_EQ(cache_find(base + i * 16), block_at(i % 4096)) << i;
        cache_clear();
        EXPECT_FALSE(cache_full());
        for (uint32_t i = 0; i < CACHE_CAPACITY; i += 97)
            ASSERT_EQ(cache_find(base + i * 16), nullptr);
    }
}

// Keys packed into few pages so that they share long runs of slots;
// removing any of them leaves every other findable, in any order, over
// several refills.
TEST_F(CacheTest, RemovingKeepsEveryOtherKeyFindable) {
    std::map<uint32_t, uint8_t*> expected;
    uint32_t seed = 12345;
    auto random = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    auto key = [&random] { return 0x03000008 + (random() % 16) * 0x1000 + (random() % 1024) * 4; };
    for (int step = 0; step < 20000; step++) {
        uint32_t k = key();
        if (random() % 3) {
            cache_insert(k, block_at(step % 4096));
            expected[k] = block_at(step % 4096);
        } else {
            cache_remove(k);
            expected.erase(k);
        }
        if (step % 1000 == 999) {
            for (const auto& [pc, code] : expected) ASSERT_EQ(cache_find(pc), code) << step;
            for (int probe = 0; probe < 1000; probe++) {
                uint32_t other = key();
                if (expected.count(other)) continue;
                ASSERT_EQ(cache_find(other), nullptr) << step;
            }
        }
        if (cache_full()) {
            cache_clear();
            expected.clear();
        }
    }
}

// --- dynarec_step: cache, translation ---------------------------------

constexpr uint32_t ROM_START = 0x08000000;
constexpr uint32_t A = 0x08000000, B = 0x08000100, C = 0x08000200;

class StepTest : public ConsoleTest {
   protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        std::vector<uint32_t> words(0x300 / 4, 0xE3A00001);                   // MOV r0, #1 ...
        words[0x03C / 4] = words[0x13C / 4] = words[0x23C / 4] = 0xEAFFFFFE;  // ... B .
        load_test_image(words);
        cpu_method = Method::Dynarec;
    }
    // Puts the processor at a block's first instruction and runs one step.
    void step_at(uint32_t address) {
        cpu_regs[15] = address;
        arm_refill();
        dynarec_step();
    }
};

// A block is translated once: running it again, or after others, finds it.
TEST_F(StepTest, BlocksAreTranslatedOnce) {
    step_at(A);
    step_at(B);
    uint64_t translated = blocks_translated;
    for (int i = 0; i < 4; i++) step_at(i % 2 ? B : A);
    step_at(C);
    EXPECT_EQ(blocks_translated, translated + 1);
    EXPECT_EQ(cpu_regs[15], C + 0x3C + 8);  // at the B . that ends the block
}

TEST_F(StepTest, FullBufferEmptiesEverythingAndStartsAgain) {
    // The smallest buffer holds a few dozen of these blocks of MOVs.
    code_buffer_release();
    code_buffer_choose_size(CODE_BUFFER_MIN_SIZE);
    code_buffer_init();
    code_buffer_choose_size(CODE_BUFFER_DEFAULT_SIZE);  // for the tests after this one
    std::vector<uint32_t> words(0x40000 / 4, 0xE3A00001);
    load_test_image(words);
    cpu_method = Method::Dynarec;
    const uint64_t at_start = dynarec_flush_count;
    uint64_t flushes = at_start;
    const uint32_t block_bytes = 4 * BLOCK_MAX_INSNS;
    for (uint32_t pc = ROM_START; pc < ROM_START + 0x40000 - block_bytes; pc += block_bytes) {
        step_at(pc);
        ASSERT_EQ(cpu_regs[15], pc + block_bytes + 8);
        if (dynarec_flush_count != flushes) {
            flushes = dynarec_flush_count;
            EXPECT_EQ(cache_find(ROM_START + 8), nullptr);  // everything before is gone
            EXPECT_NE(cache_find(pc + 8), nullptr);         // the newest block is there
        }
    }
    EXPECT_GT(flushes, at_start);
}

// --- stale code ----------------------------------------------------------------

class StaleCodeTest : public ConsoleTest {
   protected:
    // A routine in work RAM: MOV r0, #n; MOV pc, lr.
    void install(uint32_t address, uint32_t n) {
        mem_write32(address, 0xE3A00000 | n);
        mem_write32(address + 4, 0xE1A0F00E);
    }
    uint32_t run_routine(uint32_t address) {
        cpu_regs[14] = 0x08000000;
        cpu_regs[15] = address;
        arm_refill();
        dynarec_step();
        return cpu_regs[0];
    }
};

TEST_F(StaleCodeTest, WriteOverTranslatedCodeRetranslates) {
    cpu_method = Method::Dynarec;
    install(0x02000000, 1);
    EXPECT_EQ(run_routine(0x02000000), 1u);
    install(0x02000000, 2);
    EXPECT_EQ(run_routine(0x02000000), 2u);
    // Through a mirror, a byte at a time.
    mem_write8(0x02040000, 3);
    EXPECT_EQ(run_routine(0x02000000), 3u);
}

TEST_F(StaleCodeTest, WritesElsewhereKeepTheCache) {
    install(0x03000000, 1);
    run_routine(0x03000000);
    uint64_t translated = blocks_translated;
    mem_write32(0x03000400, 0);  // the next 1 KB page
    mem_write32(0x02000000, 0);
    EXPECT_EQ(run_routine(0x03000000), 1u);
    EXPECT_EQ(blocks_translated, translated);
}

TEST_F(StaleCodeTest, VideoRamAndBiosCodeIsWatchedToo) {
    install(0x06000000, 4);
    EXPECT_EQ(run_routine(0x06000000), 4u);
    install(0x06000000, 5);
    EXPECT_EQ(run_routine(0x06000000), 5u);
}

// A store into a later instruction of the running block ends the block
// after the store; the next instruction runs as newly written, as on the
// interpreter. Each store form rewrites the word right after itself:
//   0x02000000  <store>          writes MOV r4, #9 over the next word
//   0x02000004  MOV r4, #8
//   0x02000008  MOV pc, lr
TEST_F(StaleCodeTest, StoreIntoTheRunningBlockRunsTheNewInstruction) {
    struct Case {
        const char* text;
        uint32_t store;
    };
    const Case cases[] = {
        {"STR r1, [r2]", 0xE5821000},
        {"STMIA r2, {r1}", 0xE8820002},
        {"SWP r3, r1, [r2]", 0xE1023091},
        {"STRH r1, [r2]", 0xE1C210B0},  // the low half: MOV r4, #8 -> #9
        {"STRB r1, [r2]", 0xE5C21000},  // the low byte: likewise
        {"STR r1, [r5, #0xDC] (DMA3)", 0xE58510DC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        cpu_method = Method::Dynarec;
        mem_write32(0x02000000, c.store);
        mem_write32(0x02000004, 0xE3A04008);  // MOV r4, #8
        mem_write32(0x02000008, 0xE1A0F00E);  // MOV pc, lr
        mem_write32(0x02000100, 0xE3A04009);  // the DMA's source word
        cpu_regs[1] =
            std::string(c.text).find("DMA") != std::string::npos ? 0x84000001u : 0xE3A04009u;
        cpu_regs[2] = 0x02000004;
        cpu_regs[5] = 0x04000000;
        dma3_source = 0x02000100;
        dma3_dest = 0x02000004;
        mem_write32(0x040000D4, 0x02000100);
        mem_write32(0x040000D8, 0x02000004);
        cpu_regs[4] = 0;
        cpu_regs[14] = 0x08000000;
        cpu_regs[15] = 0x02000000;
        arm_refill();
        uint32_t cycles = 0;
        while (cpu_regs[15] != 0x08000008) cycles += dynarec_step() & 0xFFFF;
        EXPECT_EQ(cpu_regs[4], 9u);
        EXPECT_EQ(cycles, 6u);  // three instructions, however the blocks fell
        EXPECT_EQ(mem_read32(0x02000004), 0xE3A04009u);
    }
}

TEST_F(StaleCodeTest, LoadingACartridgeEmptiesTheCache) {
    install(0x02000000, 1);
    run_routine(0x02000000);
    load_test_image({});
    EXPECT_EQ(cache_find(0x02000008), nullptr);
}

}  // namespace

#endif
