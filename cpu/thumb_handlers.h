// The Thumb instruction handlers, one per form, grouped by family:
// thumb_alu.cpp (shifts, add/subtract, 8-bit immediates, the register ALU,
// high-register operations and BX, address arithmetic), thumb_transfer.cpp
// (loads, stores, PUSH/POP, STMIA/LDMIA) and thumb_branch.cpp (branches, BL,
// SWI). build_thumb_table routes every opcode to one of them.
//
// Each handler decodes cpu_opcode (r15 holds the instruction's address + 4),
// executes, prepares the next instruction and returns its cycles.
#pragma once

#include <cstdint>

// Shifts by an immediate, add/subtract, 8-bit immediates.
uint32_t thumb_lsl_imm();
uint32_t thumb_lsr_imm();
uint32_t thumb_asr_imm();
uint32_t thumb_add_reg();
uint32_t thumb_sub_reg();
uint32_t thumb_add_imm3();
uint32_t thumb_sub_imm3();
uint32_t thumb_mov_imm8();
uint32_t thumb_cmp_imm8();
uint32_t thumb_add_imm8();
uint32_t thumb_sub_imm8();

// Register ALU operations, in the order of opcode bits 9-6.
// ORDER THUMB-ALU-OPS
uint32_t thumb_and();
uint32_t thumb_eor();
uint32_t thumb_lsl_reg();
uint32_t thumb_lsr_reg();
uint32_t thumb_asr_reg();
uint32_t thumb_adc();
uint32_t thumb_sbc();
uint32_t thumb_ror_reg();
uint32_t thumb_tst();
uint32_t thumb_neg();
uint32_t thumb_cmp_reg();
uint32_t thumb_cmn();
uint32_t thumb_orr();
uint32_t thumb_mul();
uint32_t thumb_bic();
uint32_t thumb_mvn();

// High registers and BX.
uint32_t thumb_add_high();
uint32_t thumb_cmp_high();
uint32_t thumb_mov_high();
uint32_t thumb_bx();

// Address arithmetic on PC and SP.
uint32_t thumb_add_rd_pc();
uint32_t thumb_add_rd_sp();
uint32_t thumb_add_sp_imm();

// Single transfers.
uint32_t thumb_ldr_pc();
uint32_t thumb_str_reg();
uint32_t thumb_strh_reg();
uint32_t thumb_strb_reg();
uint32_t thumb_ldrsb_reg();
uint32_t thumb_ldr_reg();
uint32_t thumb_ldrh_reg();
uint32_t thumb_ldrb_reg();
uint32_t thumb_ldrsh_reg();
uint32_t thumb_str_imm();
uint32_t thumb_ldr_imm();
uint32_t thumb_strb_imm();
uint32_t thumb_ldrb_imm();
uint32_t thumb_strh_imm();
uint32_t thumb_ldrh_imm();
uint32_t thumb_str_sp();
uint32_t thumb_ldr_sp();

// Block transfers.
uint32_t thumb_push();
uint32_t thumb_pop();
uint32_t thumb_stmia();
uint32_t thumb_ldmia();

// Branches and the software interrupt.
uint32_t thumb_b_cond();
uint32_t thumb_swi();
uint32_t thumb_b_forward();
uint32_t thumb_b_backward();
uint32_t thumb_bl();
