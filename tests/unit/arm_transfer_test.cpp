// Single data transfers and swaps: every offset form, write-back,
// unaligned rotation and sign extension, and loads into r15.
#include "arm_fixture.h"

namespace {

// Memory around DATA before every case: the words at DATA - 4 .. DATA + 8.
constexpr uint32_t MEMORY[4] = {0x11111111, 0x44338211, 0x0000FF80, 0x99999999};

struct TransferCase {
    uint32_t word;
    const char* text;
    uint32_t r0, r1, r2;
    uint32_t r0_out, r1_out;
    uint32_t memory_out[4];
};

constexpr uint32_t D = DATA;
#define SAME_MEMORY \
    { 0x11111111, 0x44338211, 0x0000FF80, 0x99999999 }

const TransferCase transfer_cases[] = {
    // Words at unaligned addresses rotate right by 8 x (address & 3).
    {0xE5910000, "ldr r0, [r1]", 0, D, 0, 0x44338211, D, SAME_MEMORY},
    {0xE5910000, "ldr r0, [r1]", 0, D + 1, 0, 0x11443382, D + 1, SAME_MEMORY},
    {0xE5910000, "ldr r0, [r1]", 0, D + 2, 0, 0x82114433, D + 2, SAME_MEMORY},
    {0xE5910000, "ldr r0, [r1]", 0, D + 3, 0, 0x33821144, D + 3, SAME_MEMORY},
    {0xE5D10000, "ldrb r0, [r1]", 0, D + 1, 0, 0x82, D + 1, SAME_MEMORY},
    // Halfwords: an odd LDRH rotates within 32 bits, an odd LDRSH is the
    // byte there, sign-extended.
    {0xE1D100B0, "ldrh r0, [r1]", 0, D, 0, 0x8211, D, SAME_MEMORY},
    {0xE1D100B0, "ldrh r0, [r1]", 0, D + 1, 0, 0x11000082, D + 1, SAME_MEMORY},
    {0xE1D100F0, "ldrsh r0, [r1]", 0, D, 0, 0xFFFF8211, D, SAME_MEMORY},
    {0xE1D100F0, "ldrsh r0, [r1]", 0, D + 1, 0, 0xFFFFFF82, D + 1, SAME_MEMORY},
    {0xE1D100F0, "ldrsh r0, [r1]", 0, D + 3, 0, 0x44, D + 3, SAME_MEMORY},
    {0xE1D100D0, "ldrsb r0, [r1]", 0, D + 4, 0, 0xFFFFFF80, D + 4, SAME_MEMORY},
    {0xE1D100D0, "ldrsb r0, [r1]", 0, D + 6, 0, 0, D + 6, SAME_MEMORY},
    // Offsets, indexing and write-back.
    {0xE4910004, "ldr r0, [r1], #4", 0, D, 0, 0x44338211, D + 4, SAME_MEMORY},
    {0xE4911004, "ldr r1, [r1], #4", 7, D, 0, 7, D + 4, SAME_MEMORY},
    {0xE0D110B4, "ldrh r1, [r1], #4", 7, D, 0, 7, 0x8215, SAME_MEMORY},
    {0xE7910102, "ldr r0, [r1, r2, lsl #2]", 0, D - 4, 1, 0x44338211, D - 4, SAME_MEMORY},
    {0xE7310002, "ldr r0, [r1, -r2]!", 0, D + 8, 4, 0x0000FF80, D + 4, SAME_MEMORY},
    {0xE5F10001, "ldrb r0, [r1, #1]!", 0, D, 0, 0x82, D + 1, SAME_MEMORY},
    {0xE5110004, "ldr r0, [r1, #-4]", 0, D, 0, 0x11111111, D, SAME_MEMORY},
    {0xE11100B2, "ldrh r0, [r1, -r2]", 0, D + 6, 2, 0xFF80, D + 6, SAME_MEMORY},
    {0xE0D100D1, "ldrsb r0, [r1], #1", 0, D + 4, 0, 0xFFFFFF80, D + 5, SAME_MEMORY},
    {0xE17100F2, "ldrsh r0, [r1, #-2]!", 0, D + 6, 0, 0xFFFFFF80, D + 4, SAME_MEMORY},
    {0xE65100A2, "ldrb r0, [r1], -r2, lsr #1", 0, D + 1, 8, 0x82, D - 3, SAME_MEMORY},
    // Stores: the bus aligns word and halfword addresses.
    {0xE5410001,
     "strb r0, [r1, #-1]",
     0x1234567F,
     D + 1,
     0,
     0x1234567F,
     D + 1,
     {0x11111111, 0x4433827F, 0x0000FF80, 0x99999999}},
    {0xE6010002,
     "str r0, [r1], -r2",
     0xCAFEF00D,
     D + 2,
     4,
     0xCAFEF00D,
     D - 2,
     {0x11111111, 0xCAFEF00D, 0x0000FF80, 0x99999999}},
    {0xE1E100B2,
     "strh r0, [r1, #2]!",
     0xABCD1234,
     D,
     0,
     0xABCD1234,
     D + 2,
     {0x11111111, 0x12348211, 0x0000FF80, 0x99999999}},
    {0xE00100B2,
     "strh r0, [r1], -r2",
     0xABCD1234,
     D + 4,
     8,
     0xABCD1234,
     D - 4,
     {0x11111111, 0x44338211, 0x00001234, 0x99999999}},
    {0xE5C12003,
     "strb r2, [r1, #3]",
     0,
     D,
     0xEE,
     0,
     D,
     {0x11111111, 0xEE338211, 0x0000FF80, 0x99999999}},
    {0xE581F000, "str pc, [r1]", 0, D, 0, 0, D, {0x11111111, CODE + 8, 0x0000FF80, 0x99999999}},
    // Swaps: the word read rotates like LDR; with Rd = Rm the two trade.
    {0xE1010092,
     "swp r0, r2, [r1]",
     0,
     D + 1,
     0xCAFEF00D,
     0x11443382,
     D + 1,
     {0x11111111, 0xCAFEF00D, 0x0000FF80, 0x99999999}},
    {0xE1410092,
     "swpb r0, r2, [r1]",
     0,
     D + 1,
     0x1234,
     0x82,
     D + 1,
     {0x11111111, 0x44333411, 0x0000FF80, 0x99999999}},
    {0xE1010090,
     "swp r0, r0, [r1]",
     5,
     D,
     0,
     0x44338211,
     D,
     {0x11111111, 0x00000005, 0x0000FF80, 0x99999999}},
};

class ArmTransfer : public ArmTest {
   protected:
    static void write_memory() {
        for (int i = 0; i < 4; i++) mem_write32(DATA - 4 + 4 * i, MEMORY[i]);
    }
};

TEST_F(ArmTransfer, LoadsStoresAndSwaps) {
    for (const TransferCase& c : transfer_cases) {
        SCOPED_TRACE(c.text);
        load({c.word});
        write_memory();
        cpu_regs[0] = c.r0;
        cpu_regs[1] = c.r1;
        cpu_regs[2] = c.r2;
        step();
        EXPECT_EQ(cpu_regs[0], c.r0_out);
        EXPECT_EQ(cpu_regs[1], c.r1_out);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(mem_read32(DATA - 4 + 4 * i), c.memory_out[i]) << "word " << i;
        EXPECT_EQ(cpu_regs[15], CODE + 12);
    }
}

// The loaded word, rotated like any other, is the jump target, word-aligned.
TEST_F(ArmTransfer, LoadIntoR15Jumps) {
    load({0xE591F000});  // ldr pc, [r1]
    rom[0x10] = 0x5A;
    mem_write32(DATA, 0x00001008);  // ROR 8 gives CODE + 0x10
    cpu_regs[1] = DATA + 1;
    step();
    EXPECT_EQ(cpu_regs[15], CODE + 0x18);
    EXPECT_EQ(cpu_opcode, 0x5Au);

    load({0xE591F000});
    rom[0x10] = 0x5A;
    mem_write32(DATA, CODE + 0x13);
    cpu_regs[1] = DATA;
    step();
    EXPECT_EQ(cpu_regs[15], CODE + 0x18);
    EXPECT_EQ(cpu_opcode, 0x5Au);
}

}  // namespace
