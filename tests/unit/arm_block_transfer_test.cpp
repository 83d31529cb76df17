// LDM and STM: the four addressing modes, write-back with the base in the
// list, empty lists, unaligned bases, User-mode registers and the
// exception return.
#include <vector>

#include "arm_fixture.h"

namespace {

constexpr uint32_t B = DATA;
// The words at B - 8 .. B + 8 before every case.
constexpr uint32_t MEMORY[5] = {0xA8A8A8A8, 0xA4A4A4A4, 0xB0B0B0B0, 0xB4B4B4B4, 0xB8B8B8B8};

struct BlockCase {
    uint32_t word;
    const char* text;
    uint32_t r0, r1, r2;
    uint32_t r0_out, r1_out, r2_out;
    uint32_t memory_out[5];
};

#define SAME_MEMORY \
    { 0xA8A8A8A8, 0xA4A4A4A4, 0xB0B0B0B0, 0xB4B4B4B4, 0xB8B8B8B8 }

const BlockCase block_cases[] = {
    {0xE8A00006,
     "stmia r0!, {r1, r2}",
     B,
     1,
     2,
     B + 8,
     1,
     2,
     {0xA8A8A8A8, 0xA4A4A4A4, 1, 2, 0xB8B8B8B8}},
    {0xE9A00006,
     "stmib r0!, {r1, r2}",
     B - 8,
     1,
     2,
     B,
     1,
     2,
     {0xA8A8A8A8, 1, 2, 0xB4B4B4B4, 0xB8B8B8B8}},
    {0xE8200006,
     "stmda r0!, {r1, r2}",
     B,
     1,
     2,
     B - 8,
     1,
     2,
     {0xA8A8A8A8, 1, 2, 0xB4B4B4B4, 0xB8B8B8B8}},
    {0xE9900006, "ldmib r0, {r1, r2}", B, 0, 0, B, 0xB4B4B4B4, 0xB8B8B8B8, SAME_MEMORY},
    {0xE8100006, "ldmda r0, {r1, r2}", B, 0, 0, B, 0xA4A4A4A4, 0xB0B0B0B0, SAME_MEMORY},
    // An unaligned base: the bus aligns each access, the base keeps its
    // low bits.
    {0xE8A00006,
     "stmia r0!, {r1, r2}",
     B + 2,
     1,
     2,
     B + 10,
     1,
     2,
     {0xA8A8A8A8, 0xA4A4A4A4, 1, 2, 0xB8B8B8B8}},
    {0xE8B00006, "ldmia r0!, {r1, r2}", B + 1, 0, 0, B + 9, 0xB0B0B0B0, 0xB4B4B4B4, SAME_MEMORY},
    // The base in the list: stored as it was when it is the lowest listed
    // register; otherwise it meets the address stepped so far (the
    // registers go lowest first in every mode).
    {0xE8A00003,
     "stmia r0!, {r0, r1}",
     B,
     1,
     0,
     B + 8,
     1,
     0,
     {0xA8A8A8A8, 0xA4A4A4A4, B, 1, 0xB8B8B8B8}},
    {0xE9200003,
     "stmdb r0!, {r0, r1}",
     B,
     1,
     0,
     B - 8,
     1,
     0,
     {B, 1, 0xB0B0B0B0, 0xB4B4B4B4, 0xB8B8B8B8}},
    {0xE8A10003,
     "stmia r1!, {r0, r1}",
     0x77,
     B,
     0,
     0x77,
     B + 8,
     0,
     {0xA8A8A8A8, 0xA4A4A4A4, 0x77, B + 4, 0xB8B8B8B8}},
    {0xE9210003,
     "stmdb r1!, {r0, r1}",
     0x77,
     B,
     0,
     0x77,
     B - 8,
     0,
     {0x77, B - 4, 0xB0B0B0B0, 0xB4B4B4B4, 0xB8B8B8B8}},
    {0xE8B00003, "ldmia r0!, {r0, r1}", B, 0, 0, B + 8, 0xB4B4B4B4, 0, SAME_MEMORY},
    {0xE8B10003, "ldmia r1!, {r0, r1}", 0, B, 0, 0xB0B0B0B0, B + 8, 0, SAME_MEMORY},
    // An empty list moves nothing and writes nothing back.
    {0xE8B00000, "ldmia r0!, {}", B, 1, 2, B, 1, 2, SAME_MEMORY},
    {0xE8A00000, "stmia r0!, {}", B, 1, 2, B, 1, 2, SAME_MEMORY},
};

class ArmBlockTransfer : public ArmTest {
   protected:
    static void write_memory() {
        for (int i = 0; i < 5; i++) mem_write32(B - 8 + 4 * i, MEMORY[i]);
    }
    void SetUp() override {
        ArmTest::SetUp();
        saved_watch = code_write_watch;
    }
    void TearDown() override {
        code_write_watch = saved_watch;
        ArmTest::TearDown();
    }
    void (*saved_watch)(uint32_t) = nullptr;
};

TEST_F(ArmBlockTransfer, AddressingModesAndWriteBack) {
    for (const BlockCase& c : block_cases) {
        SCOPED_TRACE(c.text);
        load({c.word});
        write_memory();
        cpu_regs[0] = c.r0;
        cpu_regs[1] = c.r1;
        cpu_regs[2] = c.r2;
        step();
        EXPECT_EQ(cpu_regs[0], c.r0_out);
        EXPECT_EQ(cpu_regs[1], c.r1_out);
        EXPECT_EQ(cpu_regs[2], c.r2_out);
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(mem_read32(B - 8 + 4 * i), c.memory_out[i]) << "word " << i;
        EXPECT_EQ(cpu_regs[15], CODE + 12);
    }
}

std::vector<uint32_t> written;

// DMA3's registers lie in ascending order (source, destination, count and
// control, whose write starts the copy): a store of all three with STMDB
// reaches the count last and copies from the source it stored.
TEST_F(ArmBlockTransfer, StmdbOverDma3CopiesFromTheSourceItStores) {
    load({0xE9040007});  // stmdb r4, {r0, r1, r2}
    for (uint32_t i = 0; i < 8; i += 2) {
        mem_write16(0x02000000 + i, 0x1100 + i);  // the source stored
        mem_write16(0x02002000 + i, 0xEE00 + i);  // the source before
    }
    mem_write32(0x040000D4, 0x02002000);
    cpu_regs[0] = 0x02000000;
    cpu_regs[1] = 0x02001000;
    cpu_regs[2] = 4;  // four halfwords
    cpu_regs[4] = 0x040000E0;
    step();
    for (uint32_t i = 0; i < 8; i += 2) EXPECT_EQ(mem_read16(0x02001000 + i), 0x1100 + i) << i;
    EXPECT_EQ(dma3_source, 0x02000000u);
}

TEST_F(ArmBlockTransfer, PushWritesFromTheTopAndPopReturns) {
    load({0xE92D4010, 0xE3A04000, 0xE8BD8010});  // push {r4, lr}; mov r4, #0; pop {r4, pc}
    cpu_regs[4] = 4;
    cpu_regs[13] = B;
    cpu_regs[14] = CODE + 0x23;  // the loaded r15 is word-aligned
    written.clear();
    code_write_watch = [](uint32_t address) { written.push_back(address); };
    step();
    EXPECT_EQ(written, (std::vector<uint32_t>{B - 8, B - 4}));  // ascending, as the ARM7TDMI
    EXPECT_EQ(mem_read32(B - 4), CODE + 0x23);
    EXPECT_EQ(mem_read32(B - 8), 4u);
    EXPECT_EQ(cpu_regs[13], B - 8);
    step(2);
    EXPECT_EQ(cpu_regs[4], 4u);
    EXPECT_EQ(cpu_regs[13], B);
    EXPECT_EQ(cpu_regs[15], CODE + 0x28);
}

TEST_F(ArmBlockTransfer, LoadWithR15AndSReturnsFromException) {
    load({0xE8FD8001});  // ldmfd sp!, {r0, pc}^
    cpu_regs[13] = 0x03007F00;
    cpu_set_mode(0x13);
    cpu_regs[13] = B;
    cpu_spsr = 0x80000010;
    mem_write32(B, 0x1234);
    mem_write32(B + 4, CODE + 0x40);
    step();
    EXPECT_EQ(cpu_regs[0], 0x1234u);
    EXPECT_EQ(cpu_cpsr, 0x80000010u);
    EXPECT_EQ(nzcv(), 0b1000u);
    EXPECT_EQ(cpu_regs[15], CODE + 0x48);
    EXPECT_EQ(cpu_regs[13], 0x03007F00u);
    EXPECT_EQ(bank_svc.regs[13], B + 8);
}

TEST_F(ArmBlockTransfer, SBitWithoutR15MovesUserRegisters) {
    load({0xE8C06000, 0xE8D06000});  // stmia r0, {sp, lr}^; ldmia r0, {sp, lr}^
    cpu_regs[13] = 0x1313;
    cpu_regs[14] = 0x1414;
    cpu_set_mode(0x13);
    cpu_regs[13] = 0x5D;
    cpu_regs[14] = 0x5E;
    cpu_regs[0] = B;
    step();
    EXPECT_EQ(mem_read32(B), 0x1313u);
    EXPECT_EQ(mem_read32(B + 4), 0x1414u);
    mem_write32(B, 0xAAAA);
    mem_write32(B + 4, 0xBBBB);
    step();
    EXPECT_EQ(cpu_regs[13], 0x5Du);
    EXPECT_EQ(cpu_regs[14], 0x5Eu);
    cpu_set_mode(0x10);
    EXPECT_EQ(cpu_regs[13], 0xAAAAu);
    EXPECT_EQ(cpu_regs[14], 0xBBBBu);
}

TEST_F(ArmBlockTransfer, SBitInFiqModeReachesUserR8) {
    load({0xE8C02100});  // stmia r0, {r8, sp}^
    cpu_regs[8] = 0x88;
    cpu_regs[13] = 0x1313;
    cpu_set_mode(0xD1);
    cpu_regs[8] = 0xF8;
    cpu_regs[0] = B;
    step();
    EXPECT_EQ(mem_read32(B), 0x88u);
    EXPECT_EQ(mem_read32(B + 4), 0x1313u);
}

}  // namespace
