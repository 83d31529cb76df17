// The x86 instruction forms of the back end: one thin procedure per form,
// over typed operands, appending to the code buffer through emit_u8. The
// same forms serve both hosts: x86-64 adds r8-r15 (a REX prefix where an
// operand needs one) and pointer-width registers of 64 bits; i386 has the
// eight classic registers only, and pointer width is 32 bits.
//
// Operand types keep widths apart at compile time: a Reg32 is a 32-bit
// general register, a RegPtr the same register at pointer width (for bases
// and the stack), a Reg8 its low byte. A memory operand is a pointer-width
// base, an optional index scaled by 1, 2, 4 or 8, and a 32-bit displacement:
// the back end addresses the processor's state from a base register; other
// variables of the program are absolute operands.
//
// Jumps and calls: rel32 forms take the target's run-time address; forward
// jumps whose target is not yet known return a Fixup that patch_here() or
// patch_to() completes. Calls reach targets within 2 GiB of the buffer on
// x86-64 (the buffer lies beside the program's static storage).
#pragma once

#include <cstdint>

namespace x86 {

struct Reg32 {
    uint8_t code;
};
struct RegPtr {
    uint8_t code;
};
struct Reg8 {
    uint8_t code;  // 4-7 are spl/bpl/sil/dil: x86-64 only
};

constexpr Reg32 eax{0}, ecx{1}, edx{2}, ebx{3}, esp{4}, ebp{5}, esi{6}, edi{7};
#if defined(__x86_64__)
constexpr Reg32 r8d{8}, r9d{9}, r10d{10}, r11d{11}, r12d{12}, r13d{13}, r14d{14}, r15d{15};
#endif

constexpr RegPtr ptr(Reg32 r) { return RegPtr{r.code}; }
constexpr Reg8 low8(Reg32 r) { return Reg8{r.code}; }
constexpr Reg32 as32(RegPtr r) { return Reg32{r.code}; }

constexpr uint8_t NO_INDEX = 0xFF;
constexpr uint8_t NO_BASE = 0xFF;

struct Mem {
    RegPtr base;
    int32_t disp = 0;
    uint8_t index = NO_INDEX;  // a register code, or NO_INDEX
    uint8_t scale = 1;         // 1, 2, 4 or 8
};
constexpr Mem mem(RegPtr base, int32_t disp = 0) { return Mem{base, disp}; }
constexpr Mem mem(RegPtr base, Reg32 index, uint8_t scale, int32_t disp = 0) {
    return Mem{base, disp, index.code, scale};
}
// A variable of the program at its absolute address: the program is built
// position-dependent, so its static storage lies below 2 GiB on both hosts.
Mem absolute(const void* address);
// An element of a static table: address + index x scale.
Mem absolute(const void* address, Reg32 index, uint8_t scale);

// Condition codes in the encoding's order (the low nibble of Jcc/SETcc/CMOVcc).
// clang-format off
enum Cond : uint8_t {
    CC_O, CC_NO, CC_B, CC_AE, CC_E, CC_NE, CC_BE, CC_A,
    CC_S, CC_NS, CC_P, CC_NP, CC_L, CC_GE, CC_LE, CC_G,
};
// clang-format on
constexpr Cond invert(Cond cc) { return Cond(cc ^ 1); }

// The eight arithmetic-logic operations in the encoding's order (the /digit
// of opcodes 80-83 and bits 5-3 of 00-3F).
enum Alu : uint8_t { ADD, OR, ADC, SBB, AND, SUB, XOR, CMP };
// Shifts and rotates by the /digit of C0/C1/D1/D3.
enum Shift : uint8_t { ROL = 0, ROR = 1, RCL = 2, RCR = 3, SHL = 4, SHR = 5, SAR = 7 };

// The position of a rel32 field still to be filled.
struct Fixup {
    uint32_t pos;
};

// Moves.
void mov(Reg32 d, Reg32 s);
void mov(Reg32 d, uint32_t imm);
void mov(Reg32 d, Mem m);
void mov(Mem m, Reg32 s);
void mov(Mem m, uint32_t imm);
void mov_ptr(RegPtr d, uintptr_t imm);
void mov_ptr(RegPtr d, Mem m);
void mov_ptr(Mem m, RegPtr s);
void mov8(Mem m, Reg8 s);
void mov8(Mem m, uint8_t imm);
void mov16(Mem m, Reg32 s);
void movzx8(Reg32 d, Reg8 s);
void movzx8(Reg32 d, Mem m);
void movsx8(Reg32 d, Mem m);
void movzx16(Reg32 d, Mem m);
void movsx16(Reg32 d, Mem m);
void lea(Reg32 d, Mem m);
void lea_ptr(RegPtr d, Mem m);

// Arithmetic and logic: d = d op s, the host flags set as the operation sets
// them. Immediates that fit a signed byte take the short form.
void alu(Alu op, Reg32 d, Reg32 s);
void alu(Alu op, Reg32 d, uint32_t imm);
void alu(Alu op, Reg32 d, Mem m);
void alu(Alu op, Mem m, Reg32 s);
void alu(Alu op, Mem m, uint32_t imm);
void alu8(Alu op, Mem m, uint8_t imm);
void alu_ptr(Alu op, RegPtr d, uint32_t imm);
void test(Reg32 a, Reg32 b);
void test_ptr(RegPtr a, RegPtr b);
void test(Reg32 a, uint32_t imm);
void test8(Mem m, uint8_t imm);
void not_(Reg32 r);
void neg(Reg32 r);
void imul(Reg32 d, Reg32 s);  // d = low 32 bits of d * s
void mul(Reg32 s);            // edx:eax = eax * s, unsigned
void imul1(Reg32 s);          // edx:eax = eax * s, signed
void shift(Shift op, Reg32 r, uint8_t amount);
void shift_cl(Shift op, Reg32 r);
void bt(Reg32 r, uint8_t bit);
void setcc(Cond cc, Reg8 r);
void setcc(Cond cc, Mem m);
void cmov(Cond cc, Reg32 d, Reg32 s);
void cmc();
void stc();
void clc();

// Stack and control.
void push(RegPtr r);
void pop(RegPtr r);
void ret();
void call(uintptr_t target);
void call(RegPtr r);
void jmp(uintptr_t target);
void jmp(RegPtr r);
void jcc(Cond cc, uintptr_t target);
Fixup jmp_forward();
Fixup jcc_forward(Cond cc);
void patch_here(Fixup fixup);                  // the jump lands at the next byte emitted
void patch_to(Fixup fixup, uintptr_t target);  // ... or at target

}  // namespace x86
