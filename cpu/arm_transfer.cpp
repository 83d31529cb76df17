// ARM single data transfers: LDR/STR of words and bytes, the halfword and
// signed transfers, and SWP/SWPB. Every access goes through the bus, which
// ignores the low address bits of 16- and 32-bit accesses; the loads add
// the ARM7TDMI's rotation of unaligned data on top.
//
//   31  28 27 26 25 24 23 22 21 20 19  16 15  12 11                     0
//  | cond | 0  1  R  P  U  B  W  L |  Rn  |  Rd  | imm12, or shifted Rm  |
//  | cond | 0  0  0  P  U  I  W  L |  Rn  |  Rd  | hi4 | 1SH1 | lo4/Rm  |
//  | cond | 0  0  0  1  0  B  0  0 |  Rn  |  Rd  | 0000 | 1001 |  Rm     |
// P: offset applied before the access (else after, with write-back
// always); U: add the offset; W: write the address back (P = 1 only).
// r15 as base, offset or stored value reads as the instruction's address + 8.
#include "cpu/arm_handlers.h"
#include "cpu/cpu.h"
#include "cpu/unaligned.h"
#include "memory/memory.h"

namespace {

using Offset = uint32_t (*)(uint32_t opcode);
using Load = uint32_t (*)(uint32_t address);

constexpr uint32_t BIT_P = 1u << 24;
constexpr uint32_t BIT_U = 1u << 23;
constexpr uint32_t BIT_B = 1u << 22;
constexpr uint32_t BIT_W = 1u << 21;

uint32_t rn_index() { return (cpu_opcode >> 16) & 15; }
uint32_t rd_index() { return (cpu_opcode >> 12) & 15; }

uint32_t imm12(uint32_t opcode) { return opcode & 0xFFF; }
uint32_t imm8_split(uint32_t opcode) { return ((opcode >> 4) & 0xF0) | (opcode & 0xF); }
uint32_t rm_plain(uint32_t opcode) { return cpu_regs[opcode & 15]; }

uint32_t step(uint32_t base, uint32_t offset) {
    return (cpu_opcode & BIT_U) ? base + offset : base - offset;
}

// The address the access uses; `moved` receives base +/- offset. The
// offset is computed before any memory access.
uint32_t transfer_address(Offset offset, uint32_t& moved) {
    uint32_t base = cpu_regs[rn_index()];
    moved = step(base, offset(cpu_opcode));
    return (cpu_opcode & BIT_P) ? moved : base;
}

bool writes_back() { return !(cpu_opcode & BIT_P) || (cpu_opcode & BIT_W); }

// LDR/LDRB: the write-back follows the load, so with Rn = Rd the base
// wins. A word loaded into r15 is a jump to it, word-aligned.
template <Offset offset>
bool load_word_or_byte() {
    uint32_t moved;
    uint32_t address = transfer_address(offset, moved);
    uint32_t rd = rd_index();
    cpu_regs[rd] = (cpu_opcode & BIT_B) ? mem_read8(address) & 0xFF : load_word_rotated(address);
    if (writes_back()) cpu_regs[rn_index()] = moved;
    if (rd != 15) return NEXT;
    cpu_regs[15] &= ~3u;
    return JUMPED;
}

// STR/STRB: Rd is read before the write-back.
template <Offset offset>
bool store_word_or_byte() {
    uint32_t moved;
    uint32_t address = transfer_address(offset, moved);
    uint32_t value = cpu_regs[rd_index()];
    if (cpu_opcode & BIT_B) {
        mem_write8(address, value & 0xFF);
    } else {
        mem_write32(address, value);
    }
    if (writes_back()) cpu_regs[rn_index()] = moved;
    return NEXT;
}

// LDRH/LDRSB/LDRSH. Pre-indexed write-back replaces Rn after the load;
// post-indexed write-back steps whatever Rn holds after the load, so a
// load into the base register leaves the loaded value +/- offset. A load
// into r15 does not jump: the next fetch reads from the loaded value.
template <Offset offset, Load load>
bool load_halfword() {
    uint32_t moved;
    uint32_t address = transfer_address(offset, moved);
    uint32_t rn = rn_index();
    cpu_regs[rd_index()] = load(address);
    if (cpu_opcode & BIT_P) {
        if (cpu_opcode & BIT_W) cpu_regs[rn] = moved;
    } else {
        cpu_regs[rn] = step(cpu_regs[rn], offset(cpu_opcode));
    }
    return NEXT;
}

// STRH, for every form of bits 7-4 with L clear.
template <Offset offset>
bool store_halfword() {
    uint32_t moved;
    uint32_t address = transfer_address(offset, moved);
    mem_write16(address, cpu_regs[rd_index()] & 0xFFFF);
    if (writes_back()) cpu_regs[rn_index()] = moved;
    return NEXT;
}

}  // namespace

// STR{B}<c> <Rd>, [<Rn>], #+/-<imm12>
bool arm_str_post_imm() { return store_word_or_byte<imm12>(); }
// LDR{B}<c> <Rd>, [<Rn>], #+/-<imm12>
bool arm_ldr_post_imm() { return load_word_or_byte<imm12>(); }
// STR{B}<c> <Rd>, [<Rn>, #+/-<imm12>]{!}
bool arm_str_pre_imm() { return store_word_or_byte<imm12>(); }
// LDR{B}<c> <Rd>, [<Rn>, #+/-<imm12>]{!}
bool arm_ldr_pre_imm() { return load_word_or_byte<imm12>(); }
// STR{B}<c> <Rd>, [<Rn>], +/-<Rm>{, <shift>}
bool arm_str_post_reg() { return store_word_or_byte<shift_operand>(); }
// LDR{B}<c> <Rd>, [<Rn>], +/-<Rm>{, <shift>}
bool arm_ldr_post_reg() { return load_word_or_byte<shift_operand>(); }
// STR{B}<c> <Rd>, [<Rn>, +/-<Rm>{, <shift>}]{!}
bool arm_str_pre_reg() { return store_word_or_byte<shift_operand>(); }
// LDR{B}<c> <Rd>, [<Rn>, +/-<Rm>{, <shift>}]{!}
bool arm_ldr_pre_reg() { return load_word_or_byte<shift_operand>(); }

// STRH<c> <Rd>, [<Rn>], +/-<Rm>
bool arm_strh_post_reg() { return store_halfword<rm_plain>(); }
// LDRH<c> <Rd>, [<Rn>], +/-<Rm>
bool arm_ldrh_post_reg() { return load_halfword<rm_plain, load_halfword_rotated>(); }
// LDRSB<c> <Rd>, [<Rn>], +/-<Rm>
bool arm_ldrsb_post_reg() { return load_halfword<rm_plain, load_signed_byte>(); }
// LDRSH<c> <Rd>, [<Rn>], +/-<Rm>
bool arm_ldrsh_post_reg() { return load_halfword<rm_plain, load_signed_halfword>(); }
// STRH<c> <Rd>, [<Rn>], #+/-<imm8>
bool arm_strh_post_imm() { return store_halfword<imm8_split>(); }
// LDRH<c> <Rd>, [<Rn>], #+/-<imm8>
bool arm_ldrh_post_imm() { return load_halfword<imm8_split, load_halfword_rotated>(); }
// LDRSB<c> <Rd>, [<Rn>], #+/-<imm8>
bool arm_ldrsb_post_imm() { return load_halfword<imm8_split, load_signed_byte>(); }
// LDRSH<c> <Rd>, [<Rn>], #+/-<imm8>
bool arm_ldrsh_post_imm() { return load_halfword<imm8_split, load_signed_halfword>(); }
// STRH<c> <Rd>, [<Rn>, +/-<Rm>]{!}
bool arm_strh_pre_reg() { return store_halfword<rm_plain>(); }
// LDRH<c> <Rd>, [<Rn>, +/-<Rm>]{!}
bool arm_ldrh_pre_reg() { return load_halfword<rm_plain, load_halfword_rotated>(); }
// LDRSB<c> <Rd>, [<Rn>, +/-<Rm>]{!}
bool arm_ldrsb_pre_reg() { return load_halfword<rm_plain, load_signed_byte>(); }
// LDRSH<c> <Rd>, [<Rn>, +/-<Rm>]{!}
bool arm_ldrsh_pre_reg() { return load_halfword<rm_plain, load_signed_halfword>(); }
// STRH<c> <Rd>, [<Rn>, #+/-<imm8>]{!}
bool arm_strh_pre_imm() { return store_halfword<imm8_split>(); }
// LDRH<c> <Rd>, [<Rn>, #+/-<imm8>]{!}
bool arm_ldrh_pre_imm() { return load_halfword<imm8_split, load_halfword_rotated>(); }
// LDRSB<c> <Rd>, [<Rn>, #+/-<imm8>]{!}
bool arm_ldrsb_pre_imm() { return load_halfword<imm8_split, load_signed_byte>(); }
// LDRSH<c> <Rd>, [<Rn>, #+/-<imm8>]{!}
bool arm_ldrsh_pre_imm() { return load_halfword<imm8_split, load_signed_halfword>(); }

// SWP<c> <Rd>, <Rm>, [<Rn>]
// Rm is read before Rd is written, so with Rd = Rm the register and the
// memory word trade places.
bool arm_swp() {
    uint32_t address = cpu_regs[rn_index()];
    uint32_t stored = cpu_regs[cpu_opcode & 15];
    uint32_t loaded = load_word_rotated(address);
    mem_write32(address, stored);
    cpu_regs[rd_index()] = loaded;
    return NEXT;
}

// SWPB<c> <Rd>, <Rm>, [<Rn>]
bool arm_swpb() {
    uint32_t address = cpu_regs[rn_index()];
    uint32_t stored = cpu_regs[cpu_opcode & 15] & 0xFF;
    uint32_t loaded = mem_read8(address) & 0xFF;
    mem_write8(address, stored);
    cpu_regs[rd_index()] = loaded;
    return NEXT;
}
