// The x86 code emitter: appends one host instruction per call at code_pos
// in the code buffer (code_buffer.h). It knows nothing of ARM; the
// translator decides what to emit.
//
// Hosts: the forms are the 32-bit x86 ones. On a 64-bit host they mean the
// same with one difference: a ModRM memory operand 05/15 (disp32, no base) is
// relative to the end of the instruction, so the emitter writes the target
// minus the address just after the displacement; on a 32-bit host it writes
// the absolute address. Both are worked out for the executable view, where
// the code runs; it lies in static storage beside the processor state, so
// every data and call target is within 2 GiB of it.
//
// Register numbers: 0 = eax/al, 1 = ecx/cl, 2 = edx/dl (ModRM numbering).
// w: 0 for an 8-bit operand, 1 for a 32-bit one.
//
// code_buffer_writable() before appending, code_buffer_executable() before
// running anything in the buffer.
#pragma once

#include <cstdint>

#include "dynarec/code_buffer.h"

// Raw appends.
void emit_u8(uint8_t b);
void emit_u32(uint32_t v);
// Stores (len - 1) modulo 256 at pos: a short jump whose displacement byte
// is at pos lands len bytes after it.
void patch_rel8(uint32_t pos, uint8_t len);

// Instruction forms used by the translator.
void emit_mov_r_mem(uint8_t w, uint8_t r, const void* addr);  // mov r, [addr]
void emit_mov_mem_r(uint8_t w, uint8_t r, const void* addr);  // mov [addr], r
void emit_mov_r_r(uint8_t w, uint8_t d, uint8_t s);           // mov d, s
void emit_mov_r_imm(uint8_t w, uint8_t r, uint32_t imm);      // mov r, imm
void emit_and_r_r(uint8_t w, uint8_t d, uint8_t s);           // and d, s
void emit_add_r_r(uint8_t w, uint8_t d, uint8_t s);           // add d, s
void emit_sub_r_r(uint8_t w, uint8_t d, uint8_t s);           // sub d, s
void emit_shl_cl(uint8_t w, uint8_t r);                       // shl r, cl
void emit_shr_cl(uint8_t w, uint8_t r);                       // shr r, cl
void emit_sar_cl(uint8_t w, uint8_t r);                       // sar r, cl
void emit_ror_cl(uint8_t w, uint8_t r);                       // ror r, cl
void emit_rcr_cl(uint8_t w, uint8_t r);                       // rcr r, cl
void emit_sar_imm(uint8_t w, uint8_t r, uint8_t n);           // sar r, n
// Short conditional jump with a placeholder displacement; returns the
// placeholder's position for patch_rel8.
uint32_t emit_jcc_rel8(uint8_t cc);
void emit_call(const void* target);  // call rel32
void emit_ret();                     // ret

// Address of a routine of the system, for emit_call.
template <typename F>
const void* routine_address(F* routine) {
    return reinterpret_cast<const void*>(routine);
}
