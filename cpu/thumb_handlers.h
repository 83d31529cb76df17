// The Thumb instruction handlers, one per form, grouped by family:
// thumb_alu.cpp (shifts, add/subtract, 8-bit immediates, the register ALU,
// high-register operations and BX, address arithmetic), thumb_transfer.cpp
// (loads, stores, PUSH/POP, STMIA/LDMIA) and thumb_branch.cpp (branches, BL,
// SWI). build_thumb_table routes every opcode to one of them.
//
// Each handler decodes cpu_opcode (r15 holds the instruction's address + 4),
// executes and reports NEXT or JUMPED; the step fetches.
#pragma once

#include <cstdint>

#include "cpu/cpu.h"

// Shifts by an immediate, add/subtract, 8-bit immediates.
bool thumb_lsl_imm();
bool thumb_lsr_imm();
bool thumb_asr_imm();
bool thumb_add_reg();
bool thumb_sub_reg();
bool thumb_add_imm3();
bool thumb_sub_imm3();
bool thumb_mov_imm8();
bool thumb_cmp_imm8();
bool thumb_add_imm8();
bool thumb_sub_imm8();

// Register ALU operations, in the order of opcode bits 9-6.
// ORDER THUMB-ALU-OPS
bool thumb_and();
bool thumb_eor();
bool thumb_lsl_reg();
bool thumb_lsr_reg();
bool thumb_asr_reg();
bool thumb_adc();
bool thumb_sbc();
bool thumb_ror_reg();
bool thumb_tst();
bool thumb_neg();
bool thumb_cmp_reg();
bool thumb_cmn();
bool thumb_orr();
bool thumb_mul();
bool thumb_bic();
bool thumb_mvn();

// High registers and BX.
bool thumb_add_high();
bool thumb_cmp_high();
bool thumb_mov_high();
bool thumb_bx();

// Address arithmetic on PC and SP.
bool thumb_add_rd_pc();
bool thumb_add_rd_sp();
bool thumb_add_sp_imm();

// Single transfers.
bool thumb_ldr_pc();
bool thumb_str_reg();
bool thumb_strh_reg();
bool thumb_strb_reg();
bool thumb_ldrsb_reg();
bool thumb_ldr_reg();
bool thumb_ldrh_reg();
bool thumb_ldrb_reg();
bool thumb_ldrsh_reg();
bool thumb_str_imm();
bool thumb_ldr_imm();
bool thumb_strb_imm();
bool thumb_ldrb_imm();
bool thumb_strh_imm();
bool thumb_ldrh_imm();
bool thumb_str_sp();
bool thumb_ldr_sp();

// Block transfers.
bool thumb_push();
bool thumb_pop();
bool thumb_stmia();
bool thumb_ldmia();

// Branches and the software interrupt.
bool thumb_b_cond();
bool thumb_swi();
bool thumb_b_forward();
bool thumb_b_backward();
bool thumb_bl();
