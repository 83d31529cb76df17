// Fills arm_table by the decoding rules, row for row. An index holds opcode
// bits 27-20 ("hi", index bits 11-4) and bits 7-4 ("lo", index bits 3-0).
#include "cpu/arm.h"
#include "cpu/arm_handlers.h"

namespace {

void set(uint32_t hi, uint32_t lo, Handler handler) { arm_table[(hi << 4) | lo] = handler; }

// ORDER ARM-DP-OPS: by hi & 0x1F (operation in bits 4-1, S in bit 0). The
// compare operations exist only with S; their S-clear slots hold the status
// register transfers and BX, filled by their own rules.
// clang-format off
const Handler data_processing_reg[32] = {
    arm_and_reg, arm_ands_reg, arm_eor_reg, arm_eors_reg,
    arm_sub_reg, arm_subs_reg, arm_rsb_reg, arm_rsbs_reg,
    arm_add_reg, arm_adds_reg, arm_adc_reg, arm_adcs_reg,
    arm_sbc_reg, arm_sbcs_reg, arm_rsc_reg, arm_rscs_reg,
    nullptr,     arm_tst_reg,  nullptr,     arm_teq_reg,
    nullptr,     arm_cmp_reg,  nullptr,     arm_cmn_reg,
    arm_orr_reg, arm_orrs_reg, arm_mov_reg, arm_movs_reg,
    arm_bic_reg, arm_bics_reg, arm_mvn_reg, arm_mvns_reg,
};
// Here the compare operations ignore S, except that 0x32 and 0x36 are MSR.
const Handler data_processing_imm[32] = {
    arm_and_imm, arm_ands_imm, arm_eor_imm, arm_eors_imm,
    arm_sub_imm, arm_subs_imm, arm_rsb_imm, arm_rsbs_imm,
    arm_add_imm, arm_adds_imm, arm_adc_imm, arm_adcs_imm,
    arm_sbc_imm, arm_sbcs_imm, arm_rsc_imm, arm_rscs_imm,
    arm_tst_imm, arm_tst_imm,  arm_msr_imm, arm_teq_imm,
    arm_cmp_imm, arm_cmp_imm,  arm_msr_imm, arm_cmn_imm,
    arm_orr_imm, arm_orrs_imm, arm_mov_imm, arm_movs_imm,
    arm_bic_imm, arm_bics_imm, arm_mvn_imm, arm_mvns_imm,
};
// Multiplies by hi 0x00-0x0F (bit 3 long, bit 2 signed, bit 1 accumulate,
// bit 0 S); hi 0x04-0x07 are undefined.
const Handler multiplies[16] = {
    arm_mul,   arm_muls,   arm_mla,   arm_mlas,
    nullptr,   nullptr,    nullptr,   nullptr,
    arm_umull, arm_umulls, arm_umlal, arm_umlals,
    arm_smull, arm_smulls, arm_smlal, arm_smlals,
};
// Halfword and signed transfers by P (bit 24), immediate offset (bit 22)
// and L (bit 20), then lo B (H), D (SB), F (SH); stores ignore lo.
const Handler halfword_transfers[2][2][2][3] = {
    {{{arm_strh_post_reg, arm_strh_post_reg,  arm_strh_post_reg},
      {arm_ldrh_post_reg, arm_ldrsb_post_reg, arm_ldrsh_post_reg}},
     {{arm_strh_post_imm, arm_strh_post_imm,  arm_strh_post_imm},
      {arm_ldrh_post_imm, arm_ldrsb_post_imm, arm_ldrsh_post_imm}}},
    {{{arm_strh_pre_reg,  arm_strh_pre_reg,   arm_strh_pre_reg},
      {arm_ldrh_pre_reg,  arm_ldrsb_pre_reg,  arm_ldrsh_pre_reg}},
     {{arm_strh_pre_imm,  arm_strh_pre_imm,   arm_strh_pre_imm},
      {arm_ldrh_pre_imm,  arm_ldrsb_pre_imm,  arm_ldrsh_pre_imm}}},
};
// Word and byte transfers by register offset (bit 25), P (bit 24), L (bit 20).
const Handler word_transfers[2][2][2] = {
    {{arm_str_post_imm, arm_ldr_post_imm}, {arm_str_pre_imm, arm_ldr_pre_imm}},
    {{arm_str_post_reg, arm_ldr_post_reg}, {arm_str_pre_reg, arm_ldr_pre_reg}},
};
// Block transfers by P (bit 24) and L (bit 20).
const Handler block_transfers[2][2] = {
    {arm_stm_post, arm_ldm_post},
    {arm_stm_pre,  arm_ldm_pre},
};
// clang-format on

uint32_t bit(uint32_t value, uint32_t n) { return (value >> n) & 1; }

}  // namespace

void build_arm_table() {
    for (auto& entry : arm_table) entry = arm_unhandled;

    for (uint32_t hi = 0; hi < 0x100; hi++) {
        for (uint32_t lo = 0; lo < 16; lo++) {
            Handler handler = arm_unhandled;
            if (hi < 0x20) {
                if (lo == 0x9) {
                    // 27-25 = 000, 7-4 = 1001: multiplies (bit 24 clear) and
                    // swaps (bit 24 set, bit 22 selects the byte form)
                    if (hi < 0x10) {
                        if (multiplies[hi]) handler = multiplies[hi];
                    } else {
                        handler = bit(hi, 2) ? arm_swpb : arm_swp;
                    }
                } else if (lo == 0xB || lo == 0xD || lo == 0xF) {
                    // 27-25 = 000, 7-4 = 1SH1: halfword and signed transfers
                    handler =
                        halfword_transfers[bit(hi, 4)][bit(hi, 2)][bit(hi, 0)][(lo - 0xB) / 2];
                } else if (hi == 0x10 || hi == 0x14) {
                    // 27-20 = 0001 0R00: MRS
                    handler = arm_mrs;
                } else if (hi == 0x16 || (hi == 0x12 && lo == 0)) {
                    // 27-20 = 0001 0R10, 7-4 = 0000: MSR from a register
                    // (0x16 at every lo)
                    handler = arm_msr_reg;
                } else if (hi == 0x12) {
                    // 27-20 = 0001 0010, 7-4 other than 0000: BX
                    handler = arm_bx;
                } else {
                    // 27-25 = 000, bit 4 clear or bit 7 clear: data
                    // processing with a shifted register
                    handler = data_processing_reg[hi];
                }
            } else if (hi < 0x40) {
                // 27-25 = 001: data processing with a rotated immediate,
                // and MSR with an immediate (hi 0x32, 0x36)
                handler = data_processing_imm[hi - 0x20];
            } else if (hi < 0x80) {
                // 27-26 = 01: LDR, STR, LDRB, STRB
                handler = word_transfers[bit(hi, 5)][bit(hi, 4)][bit(hi, 0)];
            } else if (hi < 0xA0) {
                // 27-25 = 100: LDM, STM
                handler = block_transfers[bit(hi, 4)][bit(hi, 0)];
            } else if (hi < 0xC0) {
                // 27-25 = 101: B (bit 24 clear), BL (bit 24 set), by the
                // sign of the offset (bit 23)
                static const Handler branches[2][2] = {{arm_b_forward, arm_b_backward},
                                                       {arm_bl_forward, arm_bl_backward}};
                handler = branches[bit(hi, 4)][bit(hi, 3)];
            } else if (hi >= 0xF0) {
                // 27-24 = 1111: SWI
                handler = arm_swi;
            }
            // 27-24 = 1100-1110: coprocessor transfers and operations are
            // not emulated and stay arm_unhandled.
            set(hi, lo, handler);
        }
    }
}
