// The ARM instruction handlers that build_arm_table puts into arm_table, the
// operand-2 routines they share, and the exception return.
//
// Every handler decodes cpu_opcode itself (r15 holds the instruction's
// address + 8), executes the instruction and reports NEXT or JUMPED; the
// step fetches.
// The families live in arm_data_processing.cpp, arm_transfer.cpp,
// arm_block_transfer.cpp and arm_control.cpp.
#pragma once

#include <array>
#include <cstdint>

#include "cpu/cpu.h"
#include "cpu/decoded.h"

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
// Returns JUMPED.
bool return_from_exception(uint32_t target);

// The decoded forms of each data-processing operation (ORDER ARM-DP-OPS,
// by hi & 0x1F; none in the compare slots without S), for a record whose
// Rd is not r15 (or that compares), by operand 2:
//   IMMEDIATE  `operand` the rotated immediate, `shift` its carry out
//              (0 or 1), or KEEP_CARRY for a rotation of 0;
//   REGISTER   Rm unshifted (LSL #0);
//   SHIFTED    Rm shifted by an immediate: `shift` the type, `operand` the
//              amount field;
//   LSL, LSR, ASR  Rm shifted by 1-31 of that type, `operand` the amount;
//   BY_REGISTER  Rm shifted by the low byte of Rs (not r15): `shift` the
//              type, `operand` Rs.
enum class RecordOperand : uint8_t { IMMEDIATE, REGISTER, SHIFTED, LSL, LSR, ASR, BY_REGISTER };
constexpr uint8_t KEEP_CARRY = 2;
using DataProcessingForms = std::array<DecodedRun, 7>;
extern const DataProcessingForms data_processing_forms[32];

// The decoded forms of single transfers, for records that neither load
// r15 nor write back into it, by shape (P and W) and offset:
//   IMMEDIATE  `operand` the offset with U applied (added as it is);
//   REGISTER   Rm unshifted, added (U set);
//   SHIFTED    Rm shifted by an immediate (`shift` the type, `operand` the
//              amount field), added (U set); word and byte transfers only;
//   LSL        Rm shifted left by 1-31 (`operand`), added; the same.
enum class TransferShape : uint8_t { OFFSET, PRE_INDEXED, POST_INDEXED };
enum class TransferOffset : uint8_t { IMMEDIATE, REGISTER, SHIFTED, LSL };
using WordTransferShapes = std::array<std::array<DecodedRun, 4>, 3>;
using HalfwordTransferShapes = std::array<std::array<DecodedRun, 2>, 3>;
// By L, then B.
extern const WordTransferShapes word_transfer_records[2][2];
// STRH, LDRH, LDRSB, LDRSH.
extern const HalfwordTransferShapes halfword_transfer_records[4];

// The decoded form of an LDM or STM, or null where the table's handler
// runs it (cpu/arm_block_transfer.cpp); fills the record's fields.
DecodedRun block_transfer_record(Decoded& d, uint32_t word);

// The multiplies' record forms by hi 0x00-0x0F, for a record none of whose
// four register fields is r15 (null where hi is undefined).
extern const DecodedRun multiply_records[16];

// ORDER ARM-DP-OPS: data processing, register operand (bits 27-25 = 000)
bool arm_and_reg();
bool arm_ands_reg();
bool arm_eor_reg();
bool arm_eors_reg();
bool arm_sub_reg();
bool arm_subs_reg();
bool arm_rsb_reg();
bool arm_rsbs_reg();
bool arm_add_reg();
bool arm_adds_reg();
bool arm_adc_reg();
bool arm_adcs_reg();
bool arm_sbc_reg();
bool arm_sbcs_reg();
bool arm_rsc_reg();
bool arm_rscs_reg();
bool arm_tst_reg();
bool arm_teq_reg();
bool arm_cmp_reg();
bool arm_cmn_reg();
bool arm_orr_reg();
bool arm_orrs_reg();
bool arm_mov_reg();
bool arm_movs_reg();
bool arm_bic_reg();
bool arm_bics_reg();
bool arm_mvn_reg();
bool arm_mvns_reg();

// ORDER ARM-DP-OPS: data processing, rotated immediate (bits 27-25 = 001)
bool arm_and_imm();
bool arm_ands_imm();
bool arm_eor_imm();
bool arm_eors_imm();
bool arm_sub_imm();
bool arm_subs_imm();
bool arm_rsb_imm();
bool arm_rsbs_imm();
bool arm_add_imm();
bool arm_adds_imm();
bool arm_adc_imm();
bool arm_adcs_imm();
bool arm_sbc_imm();
bool arm_sbcs_imm();
bool arm_rsc_imm();
bool arm_rscs_imm();
bool arm_tst_imm();
bool arm_teq_imm();
bool arm_cmp_imm();
bool arm_cmn_imm();
bool arm_orr_imm();
bool arm_orrs_imm();
bool arm_mov_imm();
bool arm_movs_imm();
bool arm_bic_imm();
bool arm_bics_imm();
bool arm_mvn_imm();
bool arm_mvns_imm();

// Branches, status register transfers, software interrupt
bool arm_b_forward();   // offset bit 23 clear
bool arm_b_backward();  // offset bit 23 set
bool arm_bl_forward();
bool arm_bl_backward();
// `operand`: the distance in instructions from this one, offset + 2
uint32_t arm_b_record(Decoded* d, const uint8_t* code, uint32_t left);
uint32_t arm_bl_record(Decoded* d, const uint8_t* code, uint32_t left);
// B with a condition other than AL, which tests it itself.
DecodedRun arm_b_conditional(uint32_t cond);
bool arm_bx();
// BX's form: Rm in `rm`; on in the same run while the target is ARM code.
uint32_t arm_bx_record(Decoded* d, const uint8_t* code, uint32_t left);
bool arm_mrs();      // bit 22 selects the SPSR
bool arm_msr_reg();  // bit 22 selects the SPSR
bool arm_msr_imm();
bool arm_swi();

// Multiplies (bits 7-4 = 1001)
bool arm_mul();
bool arm_muls();
bool arm_mla();
bool arm_mlas();
bool arm_umull();
bool arm_umulls();
bool arm_umlal();
bool arm_umlals();
bool arm_smull();
bool arm_smulls();
bool arm_smlal();
bool arm_smlals();

// Word and byte transfers, by offset kind, P and L (B, U, W read inside)
bool arm_str_post_imm();
bool arm_ldr_post_imm();
bool arm_str_pre_imm();
bool arm_ldr_pre_imm();
bool arm_str_post_reg();
bool arm_ldr_post_reg();
bool arm_str_pre_reg();
bool arm_ldr_pre_reg();

// Halfword and signed transfers, by P, offset kind, L and load kind
bool arm_strh_post_reg();
bool arm_ldrh_post_reg();
bool arm_ldrsb_post_reg();
bool arm_ldrsh_post_reg();
bool arm_strh_post_imm();
bool arm_ldrh_post_imm();
bool arm_ldrsb_post_imm();
bool arm_ldrsh_post_imm();
bool arm_strh_pre_reg();
bool arm_ldrh_pre_reg();
bool arm_ldrsb_pre_reg();
bool arm_ldrsh_pre_reg();
bool arm_strh_pre_imm();
bool arm_ldrh_pre_imm();
bool arm_ldrsb_pre_imm();
bool arm_ldrsh_pre_imm();

// Swaps (bit 22 selects the byte form)
bool arm_swp();
bool arm_swpb();

// Block transfers, by P and L (U, S and W read inside): post = the address
// steps after each transfer (IA, DA), pre = before (IB, DB)
bool arm_stm_post();
bool arm_ldm_post();
bool arm_stm_pre();
bool arm_ldm_pre();
