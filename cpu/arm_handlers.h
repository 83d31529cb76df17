// The ARM instruction handlers that build_arm_table puts into arm_table, the
// operand-2 routines they share, and the exception return.
//
// Every handler decodes cpu_opcode itself (r15 holds the instruction's
// address + 8), executes the instruction, prepares the next one with
// arm_fetch or, after writing r15, arm_refill, and returns ARM_CYCLES.
// The families live in arm_data_processing.cpp, arm_transfer.cpp,
// arm_block_transfer.cpp and arm_control.cpp.
#pragma once

#include <cstdint>

// Operand 2 of a register form: Rm shifted by type (bits 6-5) and amount,
// the amount from bits 11-7, or from the low byte of Rs (bits 11-8) when
// bit 4 is set. shift_operand leaves the flags alone; shift_operand_carry
// puts the shifter's carry into flag_c (never touching V).
uint32_t shift_operand(uint32_t opcode);
uint32_t shift_operand_carry(uint32_t opcode);
// Operand 2 of an immediate form: imm8 (bits 7-0) rotated right by twice
// bits 11-8. The _carry form also sets flag_c to bit 31 of the result when
// the rotation is not 0, as the flag-setting logical operations do.
uint32_t rotate_immediate(uint32_t opcode);
uint32_t rotate_immediate_carry(uint32_t opcode);

// Continues at target after a flag-setting write of r15 (data processing
// with S and Rd = r15, LDM with S and r15 in the list). In a mode with an
// SPSR, the SPSR becomes the CPSR (banks and flags included) and a restored
// T bit resumes Thumb code; in User and System mode it is a plain jump.
void return_from_exception(uint32_t target);

// ORDER ARM-DP-OPS: data processing, register operand (bits 27-25 = 000)
uint32_t arm_and_reg();
uint32_t arm_ands_reg();
uint32_t arm_eor_reg();
uint32_t arm_eors_reg();
uint32_t arm_sub_reg();
uint32_t arm_subs_reg();
uint32_t arm_rsb_reg();
uint32_t arm_rsbs_reg();
uint32_t arm_add_reg();
uint32_t arm_adds_reg();
uint32_t arm_adc_reg();
uint32_t arm_adcs_reg();
uint32_t arm_sbc_reg();
uint32_t arm_sbcs_reg();
uint32_t arm_rsc_reg();
uint32_t arm_rscs_reg();
uint32_t arm_tst_reg();
uint32_t arm_teq_reg();
uint32_t arm_cmp_reg();
uint32_t arm_cmn_reg();
uint32_t arm_orr_reg();
uint32_t arm_orrs_reg();
uint32_t arm_mov_reg();
uint32_t arm_movs_reg();
uint32_t arm_bic_reg();
uint32_t arm_bics_reg();
uint32_t arm_mvn_reg();
uint32_t arm_mvns_reg();

// ORDER ARM-DP-OPS: data processing, rotated immediate (bits 27-25 = 001)
uint32_t arm_and_imm();
uint32_t arm_ands_imm();
uint32_t arm_eor_imm();
uint32_t arm_eors_imm();
uint32_t arm_sub_imm();
uint32_t arm_subs_imm();
uint32_t arm_rsb_imm();
uint32_t arm_rsbs_imm();
uint32_t arm_add_imm();
uint32_t arm_adds_imm();
uint32_t arm_adc_imm();
uint32_t arm_adcs_imm();
uint32_t arm_sbc_imm();
uint32_t arm_sbcs_imm();
uint32_t arm_rsc_imm();
uint32_t arm_rscs_imm();
uint32_t arm_tst_imm();
uint32_t arm_teq_imm();
uint32_t arm_cmp_imm();
uint32_t arm_cmn_imm();
uint32_t arm_orr_imm();
uint32_t arm_orrs_imm();
uint32_t arm_mov_imm();
uint32_t arm_movs_imm();
uint32_t arm_bic_imm();
uint32_t arm_bics_imm();
uint32_t arm_mvn_imm();
uint32_t arm_mvns_imm();

// Branches, status register transfers, software interrupt
uint32_t arm_b_forward();   // offset bit 23 clear
uint32_t arm_b_backward();  // offset bit 23 set
uint32_t arm_bl_forward();
uint32_t arm_bl_backward();
uint32_t arm_bx();
uint32_t arm_mrs();      // bit 22 selects the SPSR
uint32_t arm_msr_reg();  // bit 22 selects the SPSR
uint32_t arm_msr_imm();
uint32_t arm_swi();

// Multiplies (bits 7-4 = 1001)
uint32_t arm_mul();
uint32_t arm_muls();
uint32_t arm_mla();
uint32_t arm_mlas();
uint32_t arm_umull();
uint32_t arm_umulls();
uint32_t arm_umlal();
uint32_t arm_umlals();
uint32_t arm_smull();
uint32_t arm_smulls();
uint32_t arm_smlal();
uint32_t arm_smlals();

// Word and byte transfers, by offset kind, P and L (B, U, W read inside)
uint32_t arm_str_post_imm();
uint32_t arm_ldr_post_imm();
uint32_t arm_str_pre_imm();
uint32_t arm_ldr_pre_imm();
uint32_t arm_str_post_reg();
uint32_t arm_ldr_post_reg();
uint32_t arm_str_pre_reg();
uint32_t arm_ldr_pre_reg();

// Halfword and signed transfers, by P, offset kind, L and load kind
uint32_t arm_strh_post_reg();
uint32_t arm_ldrh_post_reg();
uint32_t arm_ldrsb_post_reg();
uint32_t arm_ldrsh_post_reg();
uint32_t arm_strh_post_imm();
uint32_t arm_ldrh_post_imm();
uint32_t arm_ldrsb_post_imm();
uint32_t arm_ldrsh_post_imm();
uint32_t arm_strh_pre_reg();
uint32_t arm_ldrh_pre_reg();
uint32_t arm_ldrsb_pre_reg();
uint32_t arm_ldrsh_pre_reg();
uint32_t arm_strh_pre_imm();
uint32_t arm_ldrh_pre_imm();
uint32_t arm_ldrsb_pre_imm();
uint32_t arm_ldrsh_pre_imm();

// Swaps (bit 22 selects the byte form)
uint32_t arm_swp();
uint32_t arm_swpb();

// Block transfers, by P and L (U, S and W read inside): post = the address
// steps after each transfer (IA, DA), pre = before (IB, DB)
uint32_t arm_stm_post();
uint32_t arm_ldm_post();
uint32_t arm_stm_pre();
uint32_t arm_ldm_pre();
