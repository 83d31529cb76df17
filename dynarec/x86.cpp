// The x86 instruction forms over a handful of byte-level encoders (REX,
// ModRM, SIB, displacement).
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/x86.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "dynarec/emitter.h"

namespace x86 {

namespace {

#if defined(__x86_64__)
constexpr bool HOST64 = true;
#else
constexpr bool HOST64 = false;
#endif

// Where the byte at buffer position pos runs, and a rel32 field filled in
// place: the only two facts the forms need of the code buffer.
uintptr_t run_address(uint32_t pos) { return uintptr_t(code_buffer) + pos; }
void write_rel32_at(uint32_t pos, uint32_t value) { code_patch32(pos, value); }

[[noreturn]] void build_fault(const char* what) {
    std::fprintf(stderr, "quorrant: x86 emitter: %s\n", what);
    std::abort();
}

// target - next as a rel32; on x86-64 the target must be within 2 GiB.
uint32_t rel32(uintptr_t target, uintptr_t next) {
    uintptr_t difference = target - next;
    if (HOST64 && int64_t(difference) != int32_t(difference)) build_fault("rel32 out of reach");
    return uint32_t(difference);
}

bool fits_int8(int32_t v) { return v >= -128 && v <= 127; }

void check_code(uint8_t code) {
    if (!HOST64 && code >= 8) build_fault("register r8-r15 on a 32-bit host");
}

// REX: W selects 64-bit operands; R, X and B extend the ModRM reg field,
// the SIB index and the ModRM rm / SIB base. A byte operand in spl-dil also
// needs a REX prefix, even an empty one.
void rex(bool w, uint8_t reg, uint8_t index, uint8_t base, bool byte_needs_rex) {
    if (!HOST64) return;
    uint8_t prefix = uint8_t(0x40 | (w << 3) | ((reg >> 3) & 1) << 2 | ((index >> 3) & 1) << 1 |
                             ((base >> 3) & 1));
    if (prefix != 0x40 || byte_needs_rex) emit_u8(prefix);
}

void opcode(const uint8_t* bytes, int count) {
    for (int i = 0; i < count; i++) emit_u8(bytes[i]);
}

// ModRM (and SIB, displacement) of a memory operand. rm 100 asks for a SIB
// byte; base 101 with mod 00 would mean "no base", so ebp/r13 always carry
// a displacement.
void modrm_mem(uint8_t reg, const Mem& m) {
    if (m.base.code == NO_BASE && m.index != NO_INDEX) {  // disp32 + index x scale
        if ((m.index & 7) == 4 && m.index < 8) build_fault("esp as an index");
        uint8_t scale_bits = m.scale == 8 ? 3 : m.scale == 4 ? 2 : m.scale == 2 ? 1 : 0;
        emit_u8(uint8_t((reg & 7) << 3 | 4));
        emit_u8(uint8_t(scale_bits << 6 | (m.index & 7) << 3 | 5));
        emit_u32(uint32_t(m.disp));
        return;
    }
    if (m.base.code == NO_BASE) {  // disp32 alone: x86-64 needs the SIB form
        if (HOST64) {
            emit_u8(uint8_t((reg & 7) << 3 | 4));
            emit_u8(0x25);
        } else {
            emit_u8(uint8_t((reg & 7) << 3 | 5));
        }
        emit_u32(uint32_t(m.disp));
        return;
    }
    uint8_t base = m.base.code & 7;
    uint8_t mod = (m.disp == 0 && base != 5) ? 0 : fits_int8(m.disp) ? 1 : 2;
    if (m.index != NO_INDEX) {
        if ((m.index & 7) == 4 && m.index < 8) build_fault("esp as an index");
        uint8_t scale_bits = m.scale == 8 ? 3 : m.scale == 4 ? 2 : m.scale == 2 ? 1 : 0;
        emit_u8(uint8_t(mod << 6 | (reg & 7) << 3 | 4));
        emit_u8(uint8_t(scale_bits << 6 | (m.index & 7) << 3 | base));
    } else if (base == 4) {
        emit_u8(uint8_t(mod << 6 | (reg & 7) << 3 | 4));
        emit_u8(0x24);  // no index, base esp/r12
    } else {
        emit_u8(uint8_t(mod << 6 | (reg & 7) << 3 | base));
    }
    if (mod == 1) emit_u8(uint8_t(m.disp));
    if (mod == 2) emit_u32(uint32_t(m.disp));
}

// An instruction with a memory operand: [66] [REX] opcode ModRM...
void encode_mem(bool w, uint8_t reg, const Mem& m, std::initializer_list<uint8_t> op,
                bool byte_reg = false, bool operand16 = false) {
    uint8_t base = m.base.code == NO_BASE ? 0 : m.base.code;
    check_code(reg);
    check_code(base);
    uint8_t index = m.index == NO_INDEX ? 0 : m.index;
    if (operand16) emit_u8(0x66);
    rex(w, reg, index, base, byte_reg && reg >= 4 && reg < 8);
    opcode(op.begin(), int(op.size()));
    modrm_mem(reg, m);
}

// An instruction with two register operands: [REX] opcode ModRM(11, reg, rm).
void encode_reg(bool w, uint8_t reg, uint8_t rm, std::initializer_list<uint8_t> op,
                bool byte_rm = false) {
    check_code(reg);
    check_code(rm);
    rex(w, reg, 0, rm, byte_rm && rm >= 4 && rm < 8);
    opcode(op.begin(), int(op.size()));
    emit_u8(uint8_t(0xC0 | (reg & 7) << 3 | (rm & 7)));
}

// The immediate forms of the arithmetic-logic group: 83 /op ib, the short
// eax form (op << 3 | 5) id, or 81 /op id, as an assembler chooses them.
void alu_imm(bool w, Alu op, uint8_t r, uint32_t imm) {
    if (fits_int8(int32_t(imm))) {
        encode_reg(w, op, r, {0x83});
        emit_u8(uint8_t(imm));
    } else if (r == 0) {
        rex(w, 0, 0, 0, false);
        emit_u8(uint8_t(op << 3 | 5));
        emit_u32(imm);
    } else {
        encode_reg(w, op, r, {0x81});
        emit_u32(imm);
    }
}

void short_register_op(uint8_t base_opcode, RegPtr r) {
    check_code(r.code);
    rex(false, 0, 0, r.code, false);
    emit_u8(uint8_t(base_opcode + (r.code & 7)));
}

}  // namespace

Mem absolute(const void* address) {
    uintptr_t value = uintptr_t(address);
    if (value > 0x7FFFFFFF) build_fault("absolute operand above 2 GiB");
    return Mem{RegPtr{NO_BASE}, int32_t(value)};
}
Mem absolute(const void* address, Reg32 index, uint8_t scale) {
    Mem m = absolute(address);
    m.index = index.code;
    m.scale = scale;
    return m;
}

void mov(Reg32 d, Reg32 s) { encode_reg(false, s.code, d.code, {0x89}); }
void mov(Reg32 d, uint32_t imm) {
    check_code(d.code);
    rex(false, 0, 0, d.code, false);
    emit_u8(uint8_t(0xB8 + (d.code & 7)));
    emit_u32(imm);
}
void mov(Reg32 d, Mem m) { encode_mem(false, d.code, m, {0x8B}); }
void mov(Mem m, Reg32 s) { encode_mem(false, s.code, m, {0x89}); }
void mov(Mem m, uint32_t imm) {
    encode_mem(false, 0, m, {0xC7});
    emit_u32(imm);
}
void mov_ptr(RegPtr d, uintptr_t imm) {
    check_code(d.code);
    rex(true, 0, 0, d.code, false);
    emit_u8(uint8_t(0xB8 + (d.code & 7)));
    emit_u32(uint32_t(imm));
    if (HOST64) emit_u32(uint32_t(uint64_t(imm) >> 32));
}
void mov_ptr(RegPtr d, Mem m) { encode_mem(true, d.code, m, {0x8B}); }
void mov_ptr(Mem m, RegPtr s) { encode_mem(true, s.code, m, {0x89}); }
void mov8(Mem m, Reg8 s) {
    if (!HOST64 && s.code >= 4) build_fault("spl-dil on a 32-bit host");
    encode_mem(false, s.code, m, {0x88}, true);
}
void mov8(Mem m, uint8_t imm) {
    encode_mem(false, 0, m, {0xC6});
    emit_u8(imm);
}
void mov16(Mem m, Reg32 s) { encode_mem(false, s.code, m, {0x89}, false, true); }
void movzx8(Reg32 d, Reg8 s) {
    if (!HOST64 && s.code >= 4) build_fault("spl-dil on a 32-bit host");
    encode_reg(false, d.code, s.code, {0x0F, 0xB6}, true);
}
void movzx8(Reg32 d, Mem m) { encode_mem(false, d.code, m, {0x0F, 0xB6}); }
void movsx8(Reg32 d, Mem m) { encode_mem(false, d.code, m, {0x0F, 0xBE}); }
void movzx16(Reg32 d, Mem m) { encode_mem(false, d.code, m, {0x0F, 0xB7}); }
void movsx16(Reg32 d, Mem m) { encode_mem(false, d.code, m, {0x0F, 0xBF}); }
void lea(Reg32 d, Mem m) { encode_mem(false, d.code, m, {0x8D}); }
void lea_ptr(RegPtr d, Mem m) { encode_mem(true, d.code, m, {0x8D}); }

void alu(Alu op, Reg32 d, Reg32 s) { encode_reg(false, s.code, d.code, {uint8_t(op << 3 | 1)}); }
void alu(Alu op, Reg32 d, uint32_t imm) { alu_imm(false, op, d.code, imm); }
void alu(Alu op, Reg32 d, Mem m) { encode_mem(false, d.code, m, {uint8_t(op << 3 | 3)}); }
void alu(Alu op, Mem m, Reg32 s) { encode_mem(false, s.code, m, {uint8_t(op << 3 | 1)}); }
void alu(Alu op, Mem m, uint32_t imm) {
    bool short_form = fits_int8(int32_t(imm));
    encode_mem(false, op, m, {uint8_t(short_form ? 0x83 : 0x81)});
    if (short_form)
        emit_u8(uint8_t(imm));
    else
        emit_u32(imm);
}
void alu8(Alu op, Mem m, uint8_t imm) {
    encode_mem(false, op, m, {0x80});
    emit_u8(imm);
}
void alu_ptr(Alu op, RegPtr d, uint32_t imm) { alu_imm(true, op, d.code, imm); }

void test(Reg32 a, Reg32 b) { encode_reg(false, b.code, a.code, {0x85}); }
void test_ptr(RegPtr a, RegPtr b) { encode_reg(true, b.code, a.code, {0x85}); }
void test(Reg32 a, uint32_t imm) {
    if (a.code == 0) {
        emit_u8(0xA9);
    } else {
        encode_reg(false, 0, a.code, {0xF7});
    }
    emit_u32(imm);
}
void test8(Mem m, uint8_t imm) {
    encode_mem(false, 0, m, {0xF6});
    emit_u8(imm);
}
void not_(Reg32 r) { encode_reg(false, 2, r.code, {0xF7}); }
void neg(Reg32 r) { encode_reg(false, 3, r.code, {0xF7}); }
void mul(Reg32 s) { encode_reg(false, 4, s.code, {0xF7}); }
void imul1(Reg32 s) { encode_reg(false, 5, s.code, {0xF7}); }
void imul(Reg32 d, Reg32 s) { encode_reg(false, d.code, s.code, {0x0F, 0xAF}); }

void shift(Shift op, Reg32 r, uint8_t amount) {
    if (amount == 1) {
        encode_reg(false, op, r.code, {0xD1});
    } else {
        encode_reg(false, op, r.code, {0xC1});
        emit_u8(amount);
    }
}
void shift_cl(Shift op, Reg32 r) { encode_reg(false, op, r.code, {0xD3}); }
void bt(Reg32 r, uint8_t bit) {
    encode_reg(false, 4, r.code, {0x0F, 0xBA});
    emit_u8(bit);
}
void setcc(Cond cc, Reg8 r) {
    if (!HOST64 && r.code >= 4) build_fault("spl-dil on a 32-bit host");
    encode_reg(false, 0, r.code, {0x0F, uint8_t(0x90 | cc)}, true);
}
void setcc(Cond cc, Mem m) { encode_mem(false, 0, m, {0x0F, uint8_t(0x90 | cc)}); }
void cmov(Cond cc, Reg32 d, Reg32 s) {
    encode_reg(false, d.code, s.code, {0x0F, uint8_t(0x40 | cc)});
}
void cmc() { emit_u8(0xF5); }
void stc() { emit_u8(0xF9); }
void clc() { emit_u8(0xF8); }

void push(RegPtr r) { short_register_op(0x50, r); }
void pop(RegPtr r) { short_register_op(0x58, r); }
void ret() { emit_u8(0xC3); }

void call(uintptr_t target) {
    emit_u8(0xE8);
    emit_u32(rel32(target, run_address(code_pos) + 4));
}
void call(RegPtr r) { encode_reg(false, 2, r.code, {0xFF}); }
void jmp(uintptr_t target) {
    emit_u8(0xE9);
    emit_u32(rel32(target, run_address(code_pos) + 4));
}
void jmp(RegPtr r) { encode_reg(false, 4, r.code, {0xFF}); }
void jcc(Cond cc, uintptr_t target) {
    emit_u8(0x0F);
    emit_u8(uint8_t(0x80 | cc));
    emit_u32(rel32(target, run_address(code_pos) + 4));
}
Fixup jmp_forward() {
    emit_u8(0xE9);
    Fixup fixup{code_pos};
    emit_u32(0);
    return fixup;
}
Fixup jcc_forward(Cond cc) {
    emit_u8(0x0F);
    emit_u8(uint8_t(0x80 | cc));
    Fixup fixup{code_pos};
    emit_u32(0);
    return fixup;
}
void patch_to(Fixup fixup, uintptr_t target) {
    write_rel32_at(fixup.pos, rel32(target, run_address(fixup.pos) + 4));
}
void patch_here(Fixup fixup) { patch_to(fixup, run_address(code_pos)); }

}  // namespace x86

#endif
