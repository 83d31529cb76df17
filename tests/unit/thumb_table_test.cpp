// Routing of build_thumb_table: every entry filled, each row of the decoding
// rules reaching its handler, and the edge rows.
#include <gtest/gtest.h>

#include "console_fixture.h"
#include "cpu/thumb.h"
#include "cpu/thumb_handlers.h"

namespace {

class ThumbTable : public ConsoleTest {};

struct Route {
    uint16_t first, last;  // an opcode range, ends included
    Handler handler;
    const char* form;
};

TEST_F(ThumbTable, EveryRowReachesItsHandler) {
    const Route routes[] = {
        {0x0000, 0x07FF, thumb_lsl_imm, "LSL Rd, Rs, #imm5"},
        {0x0800, 0x0FFF, thumb_lsr_imm, "LSR Rd, Rs, #imm5"},
        {0x1000, 0x17FF, thumb_asr_imm, "ASR Rd, Rs, #imm5"},
        {0x1800, 0x19FF, thumb_add_reg, "ADD Rd, Rs, Rn"},
        {0x1A00, 0x1BFF, thumb_sub_reg, "SUB Rd, Rs, Rn"},
        {0x1C00, 0x1DFF, thumb_add_imm3, "ADD Rd, Rs, #imm3"},
        {0x1E00, 0x1FFF, thumb_sub_imm3, "SUB Rd, Rs, #imm3"},
        {0x2000, 0x27FF, thumb_mov_imm8, "MOV Rd, #imm8"},
        {0x2800, 0x2FFF, thumb_cmp_imm8, "CMP Rd, #imm8"},
        {0x3000, 0x37FF, thumb_add_imm8, "ADD Rd, #imm8"},
        {0x3800, 0x3FFF, thumb_sub_imm8, "SUB Rd, #imm8"},
        {0x4000, 0x403F, thumb_and, "AND"},
        {0x4040, 0x407F, thumb_eor, "EOR"},
        {0x4080, 0x40BF, thumb_lsl_reg, "LSL Rd, Rs"},
        {0x40C0, 0x40FF, thumb_lsr_reg, "LSR Rd, Rs"},
        {0x4100, 0x413F, thumb_asr_reg, "ASR Rd, Rs"},
        {0x4140, 0x417F, thumb_adc, "ADC"},
        {0x4180, 0x41BF, thumb_sbc, "SBC"},
        {0x41C0, 0x41FF, thumb_ror_reg, "ROR"},
        {0x4200, 0x423F, thumb_tst, "TST"},
        {0x4240, 0x427F, thumb_neg, "NEG"},
        {0x4280, 0x42BF, thumb_cmp_reg, "CMP Rd, Rs"},
        {0x42C0, 0x42FF, thumb_cmn, "CMN"},
        {0x4300, 0x433F, thumb_orr, "ORR"},
        {0x4340, 0x437F, thumb_mul, "MUL"},
        {0x4380, 0x43BF, thumb_bic, "BIC"},
        {0x43C0, 0x43FF, thumb_mvn, "MVN"},
        {0x4400, 0x44FF, thumb_add_high, "ADD high"},
        {0x4500, 0x45FF, thumb_cmp_high, "CMP high"},
        {0x4600, 0x46FF, thumb_mov_high, "MOV high"},
        {0x4700, 0x47FF, thumb_bx, "BX"},
        {0x4800, 0x4FFF, thumb_ldr_pc, "LDR Rd, [PC, #imm8 x 4]"},
        {0x5000, 0x51FF, thumb_str_reg, "STR Rd, [Rb, Ro]"},
        {0x5200, 0x53FF, thumb_strh_reg, "STRH Rd, [Rb, Ro]"},
        {0x5400, 0x55FF, thumb_strb_reg, "STRB Rd, [Rb, Ro]"},
        {0x5600, 0x57FF, thumb_ldrsb_reg, "LDRSB Rd, [Rb, Ro]"},
        {0x5800, 0x59FF, thumb_ldr_reg, "LDR Rd, [Rb, Ro]"},
        {0x5A00, 0x5BFF, thumb_ldrh_reg, "LDRH Rd, [Rb, Ro]"},
        {0x5C00, 0x5DFF, thumb_ldrb_reg, "LDRB Rd, [Rb, Ro]"},
        {0x5E00, 0x5FFF, thumb_ldrsh_reg, "LDRSH Rd, [Rb, Ro]"},
        {0x6000, 0x67FF, thumb_str_imm, "STR Rd, [Rb, #imm5 x 4]"},
        {0x6800, 0x6FFF, thumb_ldr_imm, "LDR Rd, [Rb, #imm5 x 4]"},
        {0x7000, 0x77FF, thumb_strb_imm, "STRB Rd, [Rb, #imm5]"},
        {0x7800, 0x7FFF, thumb_ldrb_imm, "LDRB Rd, [Rb, #imm5]"},
        {0x8000, 0x87FF, thumb_strh_imm, "STRH Rd, [Rb, #imm5 x 2]"},
        {0x8800, 0x8FFF, thumb_ldrh_imm, "LDRH Rd, [Rb, #imm5 x 2]"},
        {0x9000, 0x97FF, thumb_str_sp, "STR Rd, [SP, #imm8 x 4]"},
        {0x9800, 0x9FFF, thumb_ldr_sp, "LDR Rd, [SP, #imm8 x 4]"},
        {0xA000, 0xA7FF, thumb_add_rd_pc, "ADD Rd, PC, #imm8 x 4"},
        {0xA800, 0xAFFF, thumb_add_rd_sp, "ADD Rd, SP, #imm8 x 4"},
        {0xB000, 0xB3FF, thumb_add_sp_imm, "ADD SP, #imm (bits 9-8 ignored)"},
        {0xB400, 0xB7FF, thumb_push, "PUSH (bit 9 ignored)"},
        {0xB800, 0xBBFF, thumb_add_sp_imm, "ADD SP, #imm (bits 11, 9-8 ignored)"},
        {0xBC00, 0xBFFF, thumb_pop, "POP (bit 9 ignored)"},
        {0xC000, 0xC7FF, thumb_stmia, "STMIA"},
        {0xC800, 0xCFFF, thumb_ldmia, "LDMIA"},
        {0xD000, 0xDEFF, thumb_b_cond, "B<cond>, condition 14 included"},
        {0xDF00, 0xDFFF, thumb_swi, "SWI"},
        {0xE000, 0xE3FF, thumb_b_forward, "B forward"},
        {0xE400, 0xE7FF, thumb_b_backward, "B backward"},
        {0xE800, 0xEBFF, thumb_b_forward, "B forward (bit 11 ignored)"},
        {0xEC00, 0xEFFF, thumb_b_backward, "B backward (bit 11 ignored)"},
        {0xF000, 0xFFFF, thumb_bl, "BL, either half, up to 0xFFFF"},
    };
    uint32_t covered = 0;
    for (const Route& r : routes) {
        SCOPED_TRACE(r.form);
        for (uint32_t op = r.first; op <= r.last; op += 64) {
            EXPECT_EQ(thumb_table[thumb_index(op)], r.handler) << std::hex << op;
            covered++;
        }
    }
    EXPECT_EQ(covered, 1024u);  // the rows above partition the opcode space
    for (Handler h : thumb_table) EXPECT_NE(h, nullptr);
}

TEST_F(ThumbTable, NamedEdgeOpcodes) {
    EXPECT_EQ(thumb_index(0x46C0), 0x11Bu);  // MOV r8, r8
    EXPECT_EQ(thumb_table[0x11B], thumb_mov_high);
    EXPECT_EQ(thumb_table[thumb_index(0xDEFF)], thumb_b_cond);
    EXPECT_EQ(thumb_table[thumb_index(0xDF00)], thumb_swi);
    EXPECT_EQ(thumb_table[thumb_index(0xFFC0)], thumb_bl);
    EXPECT_EQ(thumb_table[1023], thumb_bl);
}

}  // namespace
