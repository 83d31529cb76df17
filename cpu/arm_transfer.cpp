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
#include "cpu/shifter.h"
#include "cpu/unaligned.h"

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

// The two ways a transfer reaches its fields, as for data processing:
// Latched from cpu_opcode (every encoding), FromRecord from a decoded
// record, whose decoder has excluded a load into r15 and a write-back
// into r15. step() applies the offset in the instruction's direction.
template <Offset offset>
struct Latched {
    static constexpr bool may_load_pc = true;
    uint32_t rn() const { return rn_index(); }
    uint32_t rd() const { return rd_index(); }
    uint32_t step(uint32_t base) const {
        uint32_t amount = offset(cpu_opcode);
        return (cpu_opcode & BIT_U) ? base + amount : base - amount;
    }
    bool pre() const { return cpu_opcode & BIT_P; }
    bool writes_back() const { return !(cpu_opcode & BIT_P) || (cpu_opcode & BIT_W); }
    bool byte() const { return cpu_opcode & BIT_B; }
};

template <TransferShape shape, TransferOffset kind, bool is_byte = false>
struct FromRecord {
    static constexpr bool may_load_pc = false;
    const Decoded& d;
    uint32_t rn() const { return d.rn; }
    uint32_t rd() const { return d.rd; }
    uint32_t step(uint32_t base) const {
        if constexpr (kind == TransferOffset::IMMEDIATE) return base + d.operand;
        if constexpr (kind == TransferOffset::REGISTER) return base + cpu_regs[d.rm];
        if constexpr (kind == TransferOffset::SHIFTED)
            return base + shift_immediate(d.shift, cpu_regs[d.rm], d.operand, flag_c).value;
        if constexpr (kind == TransferOffset::LSL) return base + (cpu_regs[d.rm] << d.operand);
    }
    bool pre() const { return shape != TransferShape::POST_INDEXED; }
    bool writes_back() const { return shape != TransferShape::OFFSET; }
    bool byte() const { return is_byte; }
};

// The address the access uses; `moved` receives the base stepped by the
// offset, computed before any memory access.
template <class I>
uint32_t transfer_address(I i, uint32_t& moved) {
    uint32_t base = cpu_regs[i.rn()];
    moved = i.step(base);
    return i.pre() ? moved : base;
}

// LDR/LDRB: the write-back follows the load, so with Rn = Rd the base
// wins. A word loaded into r15 is a jump to it, word-aligned.
template <class I>
bool load_word_or_byte(I i) {
    uint32_t moved;
    uint32_t address = transfer_address(i, moved);
    uint32_t rd = i.rd();
    cpu_regs[rd] = i.byte() ? cpu_read8(address) : load_word_rotated(address);
    if (i.writes_back()) cpu_regs[i.rn()] = moved;
    if (!I::may_load_pc || rd != 15) return NEXT;
    cpu_regs[15] &= ~3u;
    return JUMPED;
}

// STR/STRB: Rd is read before the write-back.
template <class I>
bool store_word_or_byte(I i) {
    uint32_t moved;
    uint32_t address = transfer_address(i, moved);
    uint32_t value = cpu_regs[i.rd()];
    if (i.byte()) {
        cpu_write8(address, value & 0xFF);
    } else {
        cpu_write32(address, value);
    }
    if (i.writes_back()) cpu_regs[i.rn()] = moved;
    return NEXT;
}

// LDRH/LDRSB/LDRSH. Pre-indexed write-back replaces Rn after the load;
// post-indexed write-back steps whatever Rn holds after the load, so a
// load into the base register leaves the loaded value +/- offset. A load
// into r15 does not jump: the next fetch reads from the loaded value.
template <Load load, class I>
bool load_halfword(I i) {
    uint32_t moved;
    uint32_t address = transfer_address(i, moved);
    uint32_t rn = i.rn();
    cpu_regs[i.rd()] = load(address);
    if (i.pre()) {
        if (i.writes_back()) cpu_regs[rn] = moved;
    } else {
        cpu_regs[rn] = i.step(cpu_regs[rn]);
    }
    return NEXT;
}

// STRH, for every form of bits 7-4 with L clear.
template <class I>
bool store_halfword(I i) {
    uint32_t moved;
    uint32_t address = transfer_address(i, moved);
    cpu_write16(address, cpu_regs[i.rd()] & 0xFFFF);
    if (i.writes_back()) cpu_regs[i.rn()] = moved;
    return NEXT;
}

template <bool load, bool byte, TransferShape shape, TransferOffset kind>
bool word_record(const Decoded& d) {
    FromRecord<shape, kind, byte> i{d};
    return load ? load_word_or_byte(i) : store_word_or_byte(i);
}
template <bool load, bool byte, TransferShape shape>
constexpr std::array<DecodedRun, 4> word_offsets = {
    word_record<load, byte, shape, TransferOffset::IMMEDIATE>,
    word_record<load, byte, shape, TransferOffset::REGISTER>,
    word_record<load, byte, shape, TransferOffset::SHIFTED>,
    word_record<load, byte, shape, TransferOffset::LSL>};
template <bool load, bool byte>
constexpr WordTransferShapes word_shapes = {word_offsets<load, byte, TransferShape::OFFSET>,
                                            word_offsets<load, byte, TransferShape::PRE_INDEXED>,
                                            word_offsets<load, byte, TransferShape::POST_INDEXED>};

template <Load load>
struct LoadWith {
    template <class I>
    static bool run(I i) {
        return load_halfword<load>(i);
    }
};
struct StoreHalfword {
    template <class I>
    static bool run(I i) {
        return store_halfword(i);
    }
};
template <class Access, TransferShape shape, TransferOffset kind>
bool halfword_record(const Decoded& d) {
    return Access::run(FromRecord<shape, kind>{d});
}
template <class Access, TransferShape shape>
constexpr std::array<DecodedRun, 2> halfword_offsets = {
    halfword_record<Access, shape, TransferOffset::IMMEDIATE>,
    halfword_record<Access, shape, TransferOffset::REGISTER>};
template <class Access>
constexpr HalfwordTransferShapes halfword_shapes = {
    halfword_offsets<Access, TransferShape::OFFSET>,
    halfword_offsets<Access, TransferShape::PRE_INDEXED>,
    halfword_offsets<Access, TransferShape::POST_INDEXED>};

}  // namespace

const WordTransferShapes word_transfer_records[2][2] = {
    {word_shapes<false, false>, word_shapes<false, true>},
    {word_shapes<true, false>, word_shapes<true, true>},
};
const HalfwordTransferShapes halfword_transfer_records[4] = {
    halfword_shapes<StoreHalfword>,
    halfword_shapes<LoadWith<load_halfword_rotated>>,
    halfword_shapes<LoadWith<load_signed_byte>>,
    halfword_shapes<LoadWith<load_signed_halfword>>,
};

// STR{B}<c> <Rd>, [<Rn>], #+/-<imm12>
bool arm_str_post_imm() { return store_word_or_byte(Latched<imm12>{}); }
// LDR{B}<c> <Rd>, [<Rn>], #+/-<imm12>
bool arm_ldr_post_imm() { return load_word_or_byte(Latched<imm12>{}); }
// STR{B}<c> <Rd>, [<Rn>, #+/-<imm12>]{!}
bool arm_str_pre_imm() { return store_word_or_byte(Latched<imm12>{}); }
// LDR{B}<c> <Rd>, [<Rn>, #+/-<imm12>]{!}
bool arm_ldr_pre_imm() { return load_word_or_byte(Latched<imm12>{}); }
// STR{B}<c> <Rd>, [<Rn>], +/-<Rm>{, <shift>}
bool arm_str_post_reg() { return store_word_or_byte(Latched<shift_operand>{}); }
// LDR{B}<c> <Rd>, [<Rn>], +/-<Rm>{, <shift>}
bool arm_ldr_post_reg() { return load_word_or_byte(Latched<shift_operand>{}); }
// STR{B}<c> <Rd>, [<Rn>, +/-<Rm>{, <shift>}]{!}
bool arm_str_pre_reg() { return store_word_or_byte(Latched<shift_operand>{}); }
// LDR{B}<c> <Rd>, [<Rn>, +/-<Rm>{, <shift>}]{!}
bool arm_ldr_pre_reg() { return load_word_or_byte(Latched<shift_operand>{}); }

// STRH<c> <Rd>, [<Rn>], +/-<Rm>
bool arm_strh_post_reg() { return store_halfword(Latched<rm_plain>{}); }
// LDRH<c> <Rd>, [<Rn>], +/-<Rm>
bool arm_ldrh_post_reg() { return load_halfword<load_halfword_rotated>(Latched<rm_plain>{}); }
// LDRSB<c> <Rd>, [<Rn>], +/-<Rm>
bool arm_ldrsb_post_reg() { return load_halfword<load_signed_byte>(Latched<rm_plain>{}); }
// LDRSH<c> <Rd>, [<Rn>], +/-<Rm>
bool arm_ldrsh_post_reg() { return load_halfword<load_signed_halfword>(Latched<rm_plain>{}); }
// STRH<c> <Rd>, [<Rn>], #+/-<imm8>
bool arm_strh_post_imm() { return store_halfword(Latched<imm8_split>{}); }
// LDRH<c> <Rd>, [<Rn>], #+/-<imm8>
bool arm_ldrh_post_imm() { return load_halfword<load_halfword_rotated>(Latched<imm8_split>{}); }
// LDRSB<c> <Rd>, [<Rn>], #+/-<imm8>
bool arm_ldrsb_post_imm() { return load_halfword<load_signed_byte>(Latched<imm8_split>{}); }
// LDRSH<c> <Rd>, [<Rn>], #+/-<imm8>
bool arm_ldrsh_post_imm() { return load_halfword<load_signed_halfword>(Latched<imm8_split>{}); }
// STRH<c> <Rd>, [<Rn>, +/-<Rm>]{!}
bool arm_strh_pre_reg() { return store_halfword(Latched<rm_plain>{}); }
// LDRH<c> <Rd>, [<Rn>, +/-<Rm>]{!}
bool arm_ldrh_pre_reg() { return load_halfword<load_halfword_rotated>(Latched<rm_plain>{}); }
// LDRSB<c> <Rd>, [<Rn>, +/-<Rm>]{!}
bool arm_ldrsb_pre_reg() { return load_halfword<load_signed_byte>(Latched<rm_plain>{}); }
// LDRSH<c> <Rd>, [<Rn>, +/-<Rm>]{!}
bool arm_ldrsh_pre_reg() { return load_halfword<load_signed_halfword>(Latched<rm_plain>{}); }
// STRH<c> <Rd>, [<Rn>, #+/-<imm8>]{!}
bool arm_strh_pre_imm() { return store_halfword(Latched<imm8_split>{}); }
// LDRH<c> <Rd>, [<Rn>, #+/-<imm8>]{!}
bool arm_ldrh_pre_imm() { return load_halfword<load_halfword_rotated>(Latched<imm8_split>{}); }
// LDRSB<c> <Rd>, [<Rn>, #+/-<imm8>]{!}
bool arm_ldrsb_pre_imm() { return load_halfword<load_signed_byte>(Latched<imm8_split>{}); }
// LDRSH<c> <Rd>, [<Rn>, #+/-<imm8>]{!}
bool arm_ldrsh_pre_imm() { return load_halfword<load_signed_halfword>(Latched<imm8_split>{}); }

// SWP<c> <Rd>, <Rm>, [<Rn>]
// Rm is read before Rd is written, so with Rd = Rm the register and the
// memory word trade places.
bool arm_swp() {
    uint32_t address = cpu_regs[rn_index()];
    uint32_t stored = cpu_regs[cpu_opcode & 15];
    uint32_t loaded = load_word_rotated(address);
    cpu_write32(address, stored);
    cpu_regs[rd_index()] = loaded;
    return NEXT;
}

// SWPB<c> <Rd>, <Rm>, [<Rn>]
bool arm_swpb() {
    uint32_t address = cpu_regs[rn_index()];
    uint32_t stored = cpu_regs[cpu_opcode & 15] & 0xFF;
    uint32_t loaded = cpu_read8(address) & 0xFF;
    cpu_write8(address, stored);
    cpu_regs[rd_index()] = loaded;
    return NEXT;
}
