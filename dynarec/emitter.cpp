// The x86 instruction forms.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/emitter.h"

#include <cstdio>
#include <cstdlib>

namespace {

// target - next as a rel32. On a 32-bit host every target is in reach (the
// sum wraps around the address space); on a 64-bit host it must be within
// 2 GiB, which static storage guarantees; anything else is a build fault.
uint32_t rel32(const void* target, uintptr_t next) {
    uintptr_t difference = uintptr_t(target) - next;
#if defined(__x86_64__)
    if (int64_t(difference) != int32_t(difference)) {
        std::fprintf(stderr, "quorrant: target out of rel32 reach of the code buffer\n");
        std::abort();
    }
#endif
    return uint32_t(difference);
}

// The four bytes of a ModRM 05/15 memory operand, written as the last part
// of the instruction.
void emit_address(const void* addr) {
#if defined(__x86_64__)
    emit_u32(rel32(addr, uintptr_t(code_buffer) + code_pos + 4));
#else
    emit_u32(uint32_t(uintptr_t(addr)));
#endif
}

uint8_t modrm_reg_reg(uint8_t d, uint8_t s) { return uint8_t(0xC0 | (d << 3) | s); }
uint8_t modrm_disp32(uint8_t r) { return uint8_t((r << 3) | 5); }

// D2/D3 /digit: the shifts by cl.
void emit_shift_cl(uint8_t w, uint8_t digit, uint8_t r) {
    emit_u8(uint8_t(0xD2 | w));
    emit_u8(uint8_t(0xC0 | (digit << 3) | r));
}

}  // namespace

void emit_u8(uint8_t b) { code_append8(b); }

void emit_u32(uint32_t v) {
    for (int i = 0; i < 4; i++) emit_u8(uint8_t(v >> (8 * i)));
}

void patch_rel8(uint32_t pos, uint8_t len) { code_patch8(pos, uint8_t(len - 1)); }

void emit_mov_r_mem(uint8_t w, uint8_t r, const void* addr) {
    emit_u8(uint8_t(0x8A | w));
    emit_u8(modrm_disp32(r));
    emit_address(addr);
}

void emit_mov_mem_r(uint8_t w, uint8_t r, const void* addr) {
    emit_u8(uint8_t(0x88 | w));
    emit_u8(modrm_disp32(r));
    emit_address(addr);
}

void emit_mov_r_r(uint8_t w, uint8_t d, uint8_t s) {
    emit_u8(uint8_t(0x8A | w));
    emit_u8(modrm_reg_reg(d, s));
}

void emit_mov_r_imm(uint8_t w, uint8_t r, uint32_t imm) {
    emit_u8(uint8_t(0xB0 | (w << 3) | r));
    if (w)
        emit_u32(imm);
    else
        emit_u8(uint8_t(imm));
}

void emit_and_r_r(uint8_t w, uint8_t d, uint8_t s) {
    emit_u8(uint8_t(0x22 | w));
    emit_u8(modrm_reg_reg(d, s));
}

void emit_add_r_r(uint8_t w, uint8_t d, uint8_t s) {
    emit_u8(uint8_t(0x02 | w));
    emit_u8(modrm_reg_reg(d, s));
}

void emit_sub_r_r(uint8_t w, uint8_t d, uint8_t s) {
    emit_u8(uint8_t(0x2A | w));
    emit_u8(modrm_reg_reg(d, s));
}

void emit_shl_cl(uint8_t w, uint8_t r) { emit_shift_cl(w, 4, r); }
void emit_shr_cl(uint8_t w, uint8_t r) { emit_shift_cl(w, 5, r); }
void emit_sar_cl(uint8_t w, uint8_t r) { emit_shift_cl(w, 7, r); }
void emit_ror_cl(uint8_t w, uint8_t r) { emit_shift_cl(w, 1, r); }
void emit_rcr_cl(uint8_t w, uint8_t r) { emit_shift_cl(w, 3, r); }

void emit_sar_imm(uint8_t w, uint8_t r, uint8_t n) {
    emit_u8(uint8_t(0xC0 | w));
    emit_u8(uint8_t(0xF8 | r));
    emit_u8(n);
}

uint32_t emit_jcc_rel8(uint8_t cc) {
    emit_u8(uint8_t(0x70 | cc));
    uint32_t placeholder = code_pos;
    emit_u8(0x00);
    return placeholder;
}

// rel32 from the end of the 5-byte instruction; on both hosts the target is
// within 2 GiB (the buffer is in the program's static storage).
void emit_call(const void* target) {
    uint32_t displacement = rel32(target, uintptr_t(code_buffer) + code_pos + 5);
    emit_u8(0xE8);
    emit_u32(displacement);
}

void emit_ret() { emit_u8(0xC3); }

#endif
