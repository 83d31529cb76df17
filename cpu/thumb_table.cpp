// Fills thumb_table by the decoding rules, row for row, and dispatches the
// latched halfword. Entry i serves the 64 opcodes whose bits 15-6 equal i;
// each rule below is commented with the opcode bits it matches.
#include "cpu/cpu.h"
#include "cpu/thumb.h"
#include "cpu/thumb_handlers.h"

Handler thumb_table[1024];

uint32_t thumb_step() { return thumb_table[thumb_index(cpu_opcode)](); }

namespace {

// ORDER THUMB-ALU-OPS
constexpr Handler alu_operations[16] = {
    thumb_and, thumb_eor,     thumb_lsl_reg, thumb_lsr_reg, thumb_asr_reg, thumb_adc,
    thumb_sbc, thumb_ror_reg, thumb_tst,     thumb_neg,     thumb_cmp_reg, thumb_cmn,
    thumb_orr, thumb_mul,     thumb_bic,     thumb_mvn,
};

// The handler for opcode bits 15-6 of `o` (o's low six bits are zero).
Handler decode(uint32_t o) {
    uint32_t b11 = (o >> 11) & 1, b10 = (o >> 10) & 1, b9 = (o >> 9) & 1;
    switch (o >> 12) {
        case 0x0:  // 000 op(12-11): shift by immediate
            return b11 ? thumb_lsr_imm : thumb_lsl_imm;
        case 0x1:
            if (!b11) return thumb_asr_imm;  // 00010
            // 00011 I(10) S(9): add/subtract, register or 3-bit immediate
            if (!b10) return b9 ? thumb_sub_reg : thumb_add_reg;
            return b9 ? thumb_sub_imm3 : thumb_add_imm3;
        case 0x2:  // 0010 op(11): MOV / CMP Rd, #imm8
            return b11 ? thumb_cmp_imm8 : thumb_mov_imm8;
        case 0x3:  // 0011 op(11): ADD / SUB Rd, #imm8
            return b11 ? thumb_sub_imm8 : thumb_add_imm8;
        case 0x4:
            if (b11) return thumb_ldr_pc;                    // 01001: LDR Rd, [PC, #]
            if (!b10) return alu_operations[(o >> 6) & 15];  // 010000 op(9-6)
            switch ((o >> 8) & 3) {                          // 010001 op(9-8)
                case 0: return thumb_add_high;
                case 1: return thumb_cmp_high;
                case 2: return thumb_mov_high;
                default: return thumb_bx;
            }
        case 0x5:  // 0101 op(11-9): register-offset transfers
            switch ((o >> 9) & 7) {
                case 0: return thumb_str_reg;
                case 1: return thumb_strh_reg;
                case 2: return thumb_strb_reg;
                case 3: return thumb_ldrsb_reg;
                case 4: return thumb_ldr_reg;
                case 5: return thumb_ldrh_reg;
                case 6: return thumb_ldrb_reg;
                default: return thumb_ldrsh_reg;
            }
        case 0x6:  // 0110 L(11): word, immediate offset
            return b11 ? thumb_ldr_imm : thumb_str_imm;
        case 0x7:  // 0111 L(11): byte, immediate offset
            return b11 ? thumb_ldrb_imm : thumb_strb_imm;
        case 0x8:  // 1000 L(11): halfword, immediate offset
            return b11 ? thumb_ldrh_imm : thumb_strh_imm;
        case 0x9:  // 1001 L(11): SP-relative word
            return b11 ? thumb_ldr_sp : thumb_str_sp;
        case 0xA:  // 1010 SP(11): ADD Rd, PC/SP, #imm8 x 4
            return b11 ? thumb_add_rd_sp : thumb_add_rd_pc;
        case 0xB:
            if (!b10) return thumb_add_sp_imm;    // 1011 x0 xx: bits 11, 9-8 ignored
            return b11 ? thumb_pop : thumb_push;  // 1011 L1 x R: bit 9 ignored
        case 0xC:                                 // 1100 L(11): STMIA / LDMIA
            return b11 ? thumb_ldmia : thumb_stmia;
        case 0xD:  // 1101 cond(11-8): conditional branch, cond 15 is SWI
            return ((o >> 8) & 15) == 15 ? thumb_swi : thumb_b_cond;
        case 0xE:  // 1110 x S(10): B, bit 11 ignored
            return b10 ? thumb_b_backward : thumb_b_forward;
        default:  // 1111: long branch with link, either halfword
            return thumb_bl;
    }
}

}  // namespace

void build_thumb_table() {
    for (uint32_t i = 0; i < 1024; i++) thumb_table[i] = decode(i << 6);
}
