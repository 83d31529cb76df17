// The translation cache, dynarec_step's memo, the emptying of both when the
// buffer fills or translated code is overwritten, and the method switches.
#include <gtest/gtest.h>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/block_cache.h"
#include "dynarec/emitter.h"
#include "dynarec/step_memo.h"
#include "dynarec/translator.h"

namespace {

uint8_t fake_code[4];

class CacheTest : public ::testing::Test {
   protected:
    void SetUp() override { cache_clear(); }
    void TearDown() override { cache_clear(); }
};

TEST_F(CacheTest, EmptyCacheFindsNothing) {
    for (uint32_t pc : {0u, 0x08000008u, 0xFFFFFFFFu, 0x03000108u})
        EXPECT_EQ(cache_find(pc), nullptr);
}

TEST_F(CacheTest, SharedBucketKeepsInsertionOrder) {
    cache_insert(0x08000108, &fake_code[0]);
    cache_insert(0x08001108, &fake_code[1]);
    EXPECT_EQ(cache_find(0x08000108), &fake_code[0]);
    EXPECT_EQ(cache_find(0x08001108), &fake_code[1]);
    const cache_bucket& bucket = block_cache[0x108];
    ASSERT_NE(bucket.head, nullptr);
    EXPECT_EQ(bucket.head->pc, 0x08000108u);
    EXPECT_EQ(bucket.head->next, bucket.tail);
    EXPECT_EQ(bucket.tail->pc, 0x08001108u);
    EXPECT_EQ(bucket.tail->next, nullptr);
    EXPECT_EQ(cache_find(0x08002108), nullptr);     // differs only in bits 12-31
    EXPECT_EQ(block_cache[0x108].cursor, nullptr);  // a miss walks to the end
}

TEST_F(CacheTest, UnalignedKeyIsStoredAndFound) {
    cache_insert(0x08000FFF, &fake_code[2]);
    EXPECT_EQ(cache_find(0x08000FFF), &fake_code[2]);
    EXPECT_EQ(block_cache[0xFFF].head->pc, 0x08000FFFu);
    EXPECT_EQ(cache_find(0x08000FFC), nullptr);
}

TEST_F(CacheTest, PoolHoldsAsManyBlocksAsTheBufferCanAndClearingRefillsIt) {
    for (uint32_t i = 0; i < CACHE_POOL_SIZE; i++) cache_insert(i * 4, &fake_code[0]);
    EXPECT_TRUE(cache_pool_full());
    EXPECT_EQ(cache_find((CACHE_POOL_SIZE - 1) * 4), &fake_code[0]);
    cache_clear();
    EXPECT_FALSE(cache_pool_full());
    EXPECT_EQ(cache_find(0), nullptr);
}

// --- dynarec_step: memo, cache, translation ---------------------------------

constexpr uint32_t ROM_START = 0x08000000;
constexpr uint32_t A = 0x08000000, B = 0x08000100, C = 0x08000200;

class StepTest : public ConsoleTest {
   protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        std::vector<uint32_t> words(0x300 / 4, 0xE3A00001);                   // MOV r0, #1 ...
        words[0x0FC / 4] = words[0x1FC / 4] = words[0x2FC / 4] = 0xEAFFFFFE;  // ... B .
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

TEST_F(StepTest, SecondStepAtAPcHitsTheMemo) {
    step_at(A);
    EXPECT_EQ(blocks_translated, 1u);
    block_cache[(A + 8) & 0xFFF].cursor = nullptr;
    step_at(A);
    EXPECT_EQ(blocks_translated, 1u);
    EXPECT_EQ(block_cache[(A + 8) & 0xFFF].cursor, nullptr);  // no cache search
}

TEST_F(StepTest, AlternatingBlocksNeverSearchTheCache) {
    step_at(A);
    step_at(B);
    memo_entry before[2] = {step_memo[0], step_memo[1]};
    for (int i = 0; i < 4; i++) {
        block_cache[(A + 8) & 0xFFF].cursor = block_cache[(B + 8) & 0xFFF].cursor = nullptr;
        step_at(i % 2 ? B : A);
        EXPECT_EQ(block_cache[(A + 8) & 0xFFF].cursor, nullptr);
        EXPECT_EQ(block_cache[(B + 8) & 0xFFF].cursor, nullptr);
    }
    EXPECT_EQ(step_memo[0].pc, before[0].pc);  // hits do not reorder
    EXPECT_EQ(step_memo[1].pc, before[1].pc);
}

TEST_F(StepTest, ThirdBlockPushesTheFirstOutOfTheMemo) {
    step_at(A);
    step_at(B);
    step_at(C);
    EXPECT_EQ(step_memo[0].pc, C + 8);
    EXPECT_EQ(step_memo[1].pc, B + 8);
    uint64_t translated = blocks_translated;
    step_at(A);
    EXPECT_EQ(blocks_translated, translated);  // found in the cache
    EXPECT_EQ(block_cache[(A + 8) & 0xFFF].cursor->pc, A + 8);
    EXPECT_EQ(step_memo[0].pc, A + 8);
    EXPECT_EQ(step_memo[1].pc, C + 8);
}

TEST_F(StepTest, FullBufferEmptiesEverythingAndStartsAgain) {
    // Every block here is 64 x 16 bytes of MOV plus the epilogue, so the
    // buffer fills after a few dozen of them.
    std::vector<uint32_t> words(0x40000 / 4, 0xE3A00001);
    load_test_image(words);
    cpu_method = Method::Dynarec;
    uint16_t last = 0;
    bool wrapped = false;
    for (uint32_t pc = ROM_START; pc < ROM_START + 0x40000 - 0x100; pc += 0x100) {
        step_at(pc);
        EXPECT_EQ(cpu_regs[15], pc + 0x100 + 8);
        if (code_pos < last) {
            wrapped = true;
            EXPECT_EQ(cache_find(ROM_START + 8), nullptr);
            EXPECT_EQ(code_pos, 64 * 16 + 6);  // only the newest block
        }
        last = code_pos;
    }
    EXPECT_TRUE(wrapped);
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

TEST_F(StaleCodeTest, RunningBlockFinishesBeforeTheCacheEmpties) {
    // STR r1, [r2] overwrites the block's own third word; the block made
    // from the old words runs to its end, the next translation sees the new.
    install(0x02000010, 0);
    mem_write32(0x02000000, 0xE5821000);  // STR r1, [r2]
    mem_write32(0x02000004, 0xE3A03007);  // MOV r3, #7
    mem_write32(0x02000008, 0xE3A04008);  // MOV r4, #8
    mem_write32(0x0200000C, 0xE1A0F00E);  // MOV pc, lr
    cpu_regs[1] = 0xE3A04009;             // MOV r4, #9
    cpu_regs[2] = 0x02000008;
    cpu_regs[14] = 0x02000000;
    cpu_regs[15] = 0x02000000;
    arm_refill();
    EXPECT_EQ(dynarec_step() & 0xFFFF, 8u);
    EXPECT_EQ(cpu_regs[4], 8u);
    cpu_regs[2] = 0x02000100;  // later stores miss the code
    EXPECT_EQ(dynarec_step() & 0xFFFF, 8u);
    EXPECT_EQ(cpu_regs[4], 9u);
}

TEST_F(StaleCodeTest, LoadingACartridgeEmptiesTheCache) {
    install(0x02000000, 1);
    run_routine(0x02000000);
    load_test_image({});
    EXPECT_EQ(cache_find(0x02000008), nullptr);
    EXPECT_EQ(code_pos, 0);
    EXPECT_EQ(step_memo[0].code, nullptr);
}

}  // namespace

#endif
