// Thumb data processing, one instruction at a time: values, all four flags
// and cycles, worked out from the architecture. Rd = r0, Rs = r1, Rn = r2
// unless the disassembly says otherwise.
#include <gtest/gtest.h>

#include "cpu/thumb.h"
#include "thumb_program.h"

namespace {

class ThumbAlu : public ConsoleTest {};

struct AluCase {
    const char* text;  // disassembly and why
    uint16_t opcode;
    uint32_t r0, r1, r2;
    const char* flags_in;
    uint32_t r0_out;
    const char* flags_out;
};

TEST_F(ThumbAlu, LowRegisterForms) {
    const AluCase cases[] = {
        // Shifts by an immediate set C (LSL #0 keeps it; LSR/ASR #0 mean #32).
        {"LSL r0, r1, #1: C = bit 31", 0x0048, 0, 0xC0000001, 0, "nzcv", 0x80000002, "NzCv"},
        {"LSL r0, r1, #31: C = bit 1", 0x07C8, 0, 0x00000003, 0, "nzcv", 0x80000000, "NzCv"},
        {"LSL r0, r1, #0 keeps C set", 0x0008, 0, 0x80000000, 0, "nzCV", 0x80000000, "NzCV"},
        {"LSL r0, r1, #0 keeps C clear", 0x0008, 0, 0x80000000, 0, "nzcV", 0x80000000, "NzcV"},
        {"LSR r0, r1, #1: C = bit 0", 0x0848, 0, 0x00000003, 0, "nzcv", 1, "nzCv"},
        {"LSR r0, r1, #32 of bit 31 set", 0x0808, 0, 0x80000000, 0, "Nzcv", 0, "nZCv"},
        {"LSR r0, r1, #32 of bit 31 clear", 0x0808, 0, 0x7FFFFFFF, 0, "NzCv", 0, "nZcv"},
        {"ASR r0, r1, #4", 0x1108, 0, 0x80000000, 0, "nzCv", 0xF8000000, "Nzcv"},
        {"ASR r0, r1, #4: C = bit 3", 0x1108, 0, 0x7000000F, 0, "nzcv", 0x07000000, "nzCv"},
        {"ASR r0, r1, #32 of a negative", 0x1008, 0, 0x80000000, 0, "nzcv", 0xFFFFFFFF, "NzCv"},
        {"ASR r0, r1, #32 of a positive", 0x1008, 0, 0x40000000, 0, "nzCv", 0, "nZcv"},
        // Add and subtract: two's-complement V, C as carry / no borrow.
        {"ADD r0, r1, r2 overflows", 0x1888, 0, 0x7FFFFFFF, 1, "nzcv", 0x80000000, "NzcV"},
        {"ADD r0, r1, r2 carries", 0x1888, 0, 0xFFFFFFFF, 1, "nzcv", 0, "nZCv"},
        {"ADD r0, r1, r2 both", 0x1888, 0, 0x80000000, 0x80000000, "nzcv", 0, "nZCV"},
        {"SUB r0, r1, r2 overflows", 0x1A88, 0, 0x80000000, 1, "nzcv", 0x7FFFFFFF, "nzCV"},
        {"SUB r0, r1, r2 borrows", 0x1A88, 0, 0, 1, "nzcv", 0xFFFFFFFF, "Nzcv"},
        {"SUB r0, r1, r2 equal", 0x1A88, 0, 5, 5, "Nzcv", 0, "nZCv"},
        {"ADD r0, r1, #7", 0x1DC8, 0, 0xFFFFFFFA, 0, "nzcv", 1, "nzCv"},
        {"SUB r0, r1, #1", 0x1E48, 0, 0, 0, "nzCv", 0xFFFFFFFF, "Nzcv"},
        // Eight-bit immediates.
        {"MOV r0, #0 keeps C and V", 0x2000, 7, 0, 0, "NzCV", 0, "nZCV"},
        {"MOV r0, #255", 0x20FF, 7, 0, 0, "nZcv", 0xFF, "nzcv"},
        {"CMP r0, #1 with r0 = 0", 0x2801, 0, 0, 0, "nZCV", 0, "Nzcv"},
        {"ADD r0, #1 wraps", 0x3001, 0xFFFFFFFF, 0, 0, "nzcv", 0, "nZCv"},
        {"SUB r0, #1 overflows", 0x3801, 0x80000000, 0, 0, "nzcv", 0x7FFFFFFF, "nzCV"},
        // Register ALU, op in bits 9-6, Rd = r0, Rs = r1.
        {"AND r0, r1 keeps C and V", 0x4008, 0xF0F0, 0xFF00, 0, "nzCV", 0xF000, "nzCV"},
        {"EOR r0, r1", 0x4048, 0xFFFFFFFF, 0xFFFFFFFF, 0, "Nzcv", 0, "nZcv"},
        {"LSL r0, r1 by 32: C = bit 0", 0x4088, 1, 32, 0, "nzcv", 0, "nZCv"},
        {"LSL r0, r1 by 33: C = 0", 0x4088, 1, 33, 0, "nzCv", 0, "nZcv"},
        {"LSL r0, r1 by 0 keeps C", 0x4088, 0x80000001, 0, 0, "nzCv", 0x80000001, "NzCv"},
        {"LSL r0, r1 by 0x100: low byte 0", 0x4088, 5, 0x100, 0, "nzCV", 5, "nzCV"},
        {"LSL r0, r1 by 1", 0x4088, 0x80000000, 1, 0, "nzcv", 0, "nZCv"},
        {"LSR r0, r1 by 32: C = bit 31", 0x40C8, 0x80000000, 32, 0, "nzcv", 0, "nZCv"},
        {"LSR r0, r1 by 31", 0x40C8, 0x80000000, 31, 0, "nzCv", 1, "nzcv"},
        {"ASR r0, r1 by 200", 0x4108, 0x80000000, 200, 0, "nzcv", 0xFFFFFFFF, "NzCv"},
        {"ASR r0, r1 by 32 of a positive", 0x4108, 0x40000000, 32, 0, "nzCv", 0, "nZcv"},
        {"ADC r0, r1: 0 + 0xFFFFFFFF + 1", 0x4148, 0, 0xFFFFFFFF, 0, "nzCv", 0, "nZCv"},
        {"ADC r0, r1 overflows", 0x4148, 0x7FFFFFFF, 0, 0, "nzCv", 0x80000000, "NzcV"},
        {"ADC r0, r1 without carry", 0x4148, 2, 3, 0, "nzcv", 5, "nzcv"},
        {"SBC r0, r1 with C = 1", 0x4188, 5, 3, 0, "nzCv", 2, "nzCv"},
        {"SBC r0, r1 with C = 0", 0x4188, 5, 3, 0, "nzcv", 1, "nzCv"},
        {"SBC r0, r1: 0 - 0xFFFFFFFF - 1", 0x4188, 0, 0xFFFFFFFF, 0, "nzcv", 0, "nZcv"},
        {"ROR r0, r1 by 4", 0x41C8, 0x1F, 4, 0, "nzcv", 0xF0000001, "NzCv"},
        {"ROR r0, r1 by 32: C = bit 31", 0x41C8, 0x80000000, 32, 0, "nzcv", 0x80000000, "NzCv"},
        {"ROR r0, r1 by 0 keeps C", 0x41C8, 0x80000000, 0, 0, "nzcv", 0x80000000, "Nzcv"},
        {"TST r0, r1", 0x4208, 0xF0, 0x0F, 0, "NzCV", 0xF0, "nZCV"},
        {"NEG r0, r1 of 1", 0x4248, 9, 1, 0, "nzCV", 0xFFFFFFFF, "Nzcv"},
        {"NEG r0, r1 of 0", 0x4248, 9, 0, 0, "Nzcv", 0, "nZCv"},
        {"NEG r0, r1 of 0x80000000", 0x4248, 9, 0x80000000, 0, "nzCv", 0x80000000, "NzcV"},
        {"CMP r0, r1", 0x4288, 1, 2, 0, "nzCv", 1, "Nzcv"},
        {"CMN r0, r1", 0x42C8, 0xFFFFFFFF, 1, 0, "nzcv", 0xFFFFFFFF, "nZCv"},
        {"ORR r0, r1", 0x4308, 0xF0, 0x0F, 0, "nZcv", 0xFF, "nzcv"},
        {"MUL r0, r1 keeps C and V", 0x4348, 0x10000, 0x10001, 0, "nzCV", 0x10000, "nzCV"},
        {"MUL r0, r1 negative", 0x4348, 0xFFFFFFFF, 2, 0, "nzcv", 0xFFFFFFFE, "Nzcv"},
        {"BIC r0, r1", 0x4388, 0xFF, 0x0F, 0, "nzcv", 0xF0, "nzcv"},
        {"MVN r0, r1", 0x43C8, 0, 0, 0, "nZcv", 0xFFFFFFFF, "Nzcv"},
    };
    for (const AluCase& c : cases) {
        SCOPED_TRACE(c.text);
        load_thumb_program({c.opcode});
        cpu_regs[0] = c.r0;
        cpu_regs[1] = c.r1;
        cpu_regs[2] = c.r2;
        set_flags(c.flags_in);
        EXPECT_EQ(run_steps(1), 1u);
        EXPECT_EQ(cpu_regs[0], c.r0_out);
        EXPECT_EQ(flags_text(), c.flags_out);
        EXPECT_EQ(cpu_regs[15], 0x08000006u);  // next instruction latched, + 4
        EXPECT_EQ(cpu_opcode, 0x46C0u);
    }
}

TEST_F(ThumbAlu, EightBitImmediateFormsUseBits10To8) {
    load_thumb_program({0x27AB, 0x3701, 0x2FAC});  // MOV r7, #0xAB; ADD r7, #1; CMP r7, #0xAC
    run_steps(3);
    EXPECT_EQ(cpu_regs[7], 0xACu);
    EXPECT_EQ(flags_text(), "nZCv");
}

TEST_F(ThumbAlu, HighRegisterOperations) {
    // ADD r8, r1 (0x4488); CMP r9, r8 (0x45C1); MOV r2, r9 (0x464A); ADD r0, pc (0x4478)
    load_thumb_program({0x4488, 0x45C1, 0x464A, 0x4478});
    cpu_regs[8] = 0x7FFFFFFF;
    cpu_regs[1] = 1;
    cpu_regs[9] = 0x80000000;
    cpu_regs[0] = 0x10;
    set_flags("nzcv");
    run_steps(1);
    EXPECT_EQ(cpu_regs[8], 0x80000000u);
    EXPECT_EQ(flags_text(), "nzcv");  // ADD with high registers sets no flag
    run_steps(1);
    EXPECT_EQ(flags_text(), "nZCv");
    run_steps(1);
    EXPECT_EQ(cpu_regs[2], 0x80000000u);
    run_steps(1);  // at A = 0x08000006, pc reads A + 4
    EXPECT_EQ(cpu_regs[0], 0x10u + 0x0800000Au);
}

TEST_F(ThumbAlu, MovAndAddToPcStayInThumbState) {
    // MOV pc, r0 (0x4687) with r0 = 0x08000101: continues at 0x08000100.
    load_thumb_program({0x4687}, {0xDEADBEEF, 0x2005}, 0x100);  // at 0x100: MOV r0, #5
    cpu_regs[0] = 0x08000101;
    EXPECT_EQ(run_steps(1), 1u);
    EXPECT_EQ(cpu_regs[15], 0x08000104u);
    EXPECT_EQ(cpu_opcode, 0xBEEFu);
    EXPECT_TRUE(in_thumb_state());
    EXPECT_TRUE(cpu_cpsr & CPSR_T);

    // ADD pc, r1 (0x448F) at A = 0x08000000: 0x08000004 + 0xFC = 0x08000100.
    load_thumb_program({0x448F}, {0xDEADBEEF}, 0x100);
    cpu_regs[1] = 0xFC;
    run_steps(1);
    EXPECT_EQ(cpu_regs[15], 0x08000104u);
    EXPECT_EQ(cpu_opcode, 0xBEEFu);
}

TEST_F(ThumbAlu, AddressArithmeticOnPcAndSpReadsNoMemory) {
    // At A = 0x08000002: ADD r0, pc, #4 (0xA001) = (A + 4 & ~3) + 4.
    // ADD r1, sp, #8 (0xA902) = r13 + 8, low bits kept.
    // ADD sp, #-8 (0xB082); ADD sp, #508 (0xB07F); 0xB382 is ADD sp, #-8 too.
    load_thumb_program({0x46C0, 0xA001, 0xA902, 0xB082, 0xB07F, 0xB382});
    cpu_regs[13] = 0x03000101;
    run_steps(2);
    EXPECT_EQ(cpu_regs[0], 0x08000008u);
    run_steps(1);
    EXPECT_EQ(cpu_regs[1], 0x03000109u);
    run_steps(1);
    EXPECT_EQ(cpu_regs[13], 0x030000F9u);
    run_steps(1);
    EXPECT_EQ(cpu_regs[13], 0x030002F5u);
    run_steps(1);
    EXPECT_EQ(cpu_regs[13], 0x030002EDu);
}

}  // namespace
