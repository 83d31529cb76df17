// Thumb loads and stores: PC- and SP-relative words, register and immediate
// offsets for words, halfwords and bytes (signed forms with a register
// offset only), PUSH/POP and STMIA/LDMIA.
//
//   register offset:   | 0101 | op(11-9) | Ro(8-6) | Rb(5-3) | Rd(2-0) |
//   immediate offset:  | 011B L | imm5(10-6) | Rb | Rd |   (B: byte)
//   halfword:          | 1000 L | imm5(10-6) | Rb | Rd |
//   PC/SP-relative:    | 01001 / 1001 L | Rd(10-8) | imm8 |
//   block:             | 1011 L 10 R | list |   | 1100 L | Rb(10-8) | list |
//
// Loads at unaligned addresses behave as the ARM ones do (cpu/unaligned.h);
// stores hand the address to the bus, which aligns it.
#include <bit>

#include "cpu/cpu.h"
#include "cpu/data_access.h"
#include "cpu/thumb.h"
#include "cpu/thumb_fields.h"
#include "cpu/thumb_handlers.h"
#include "cpu/unaligned.h"

namespace {

// The address each form accesses.
template <class I>
uint32_t pc_relative(I i) {  // PC word-aligned
    return (cpu_regs[15] & ~3u) + 4 * i.imm8();
}
template <class I>
uint32_t register_offset(I i) {
    return i.s() + i.n();
}
template <class I>
uint32_t word_offset(I i) {
    return i.s() + 4 * i.imm5();
}
template <class I>
uint32_t byte_offset(I i) {
    return i.s() + i.imm5();
}
template <class I>
uint32_t halfword_offset(I i) {
    return i.s() + 2 * i.imm5();
}
template <class I>
uint32_t sp_relative(I i) {
    return cpu_regs[13] + 4 * i.imm8();
}

bool load_into(uint32_t& rd, uint32_t value) {
    rd = value;
    return NEXT;
}

bool done() { return NEXT; }

// LDR <Rd>, [PC, #<imm8 * 4>]
template <class I>
bool ldr_pc(I i) {
    return load_into(i.d8(), cpu_read32(pc_relative(i)));
}

// STR <Rd>, [<Rb>, <Ro>]
template <class I>
bool str_reg(I i) {
    cpu_write32(register_offset(i), i.d());
    return done();
}

// STRH <Rd>, [<Rb>, <Ro>]
template <class I>
bool strh_reg(I i) {
    cpu_write16(register_offset(i), i.d() & 0xFFFF);
    return done();
}

// STRB <Rd>, [<Rb>, <Ro>]
template <class I>
bool strb_reg(I i) {
    cpu_write8(register_offset(i), i.d() & 0xFF);
    return done();
}

// LDRSB <Rd>, [<Rb>, <Ro>]
template <class I>
bool ldrsb_reg(I i) {
    return load_into(i.d(), load_signed_byte(register_offset(i)));
}

// LDR <Rd>, [<Rb>, <Ro>]
template <class I>
bool ldr_reg(I i) {
    return load_into(i.d(), load_word_rotated(register_offset(i)));
}

// LDRH <Rd>, [<Rb>, <Ro>]
template <class I>
bool ldrh_reg(I i) {
    return load_into(i.d(), load_halfword_rotated(register_offset(i)));
}

// LDRB <Rd>, [<Rb>, <Ro>]
template <class I>
bool ldrb_reg(I i) {
    return load_into(i.d(), cpu_read8(register_offset(i)) & 0xFF);
}

// LDRSH <Rd>, [<Rb>, <Ro>]
template <class I>
bool ldrsh_reg(I i) {
    return load_into(i.d(), load_signed_halfword(register_offset(i)));
}

// STR <Rd>, [<Rb>, #<imm5 * 4>]
template <class I>
bool str_imm(I i) {
    cpu_write32(word_offset(i), i.d());
    return done();
}

// LDR <Rd>, [<Rb>, #<imm5 * 4>]
template <class I>
bool ldr_imm(I i) {
    return load_into(i.d(), load_word_rotated(word_offset(i)));
}

// STRB <Rd>, [<Rb>, #<imm5>]
template <class I>
bool strb_imm(I i) {
    cpu_write8(byte_offset(i), i.d() & 0xFF);
    return done();
}

// LDRB <Rd>, [<Rb>, #<imm5>]
template <class I>
bool ldrb_imm(I i) {
    return load_into(i.d(), cpu_read8(byte_offset(i)) & 0xFF);
}

// STRH <Rd>, [<Rb>, #<imm5 * 2>]
template <class I>
bool strh_imm(I i) {
    cpu_write16(halfword_offset(i), i.d() & 0xFFFF);
    return done();
}

// LDRH <Rd>, [<Rb>, #<imm5 * 2>]
template <class I>
bool ldrh_imm(I i) {
    return load_into(i.d(), load_halfword_rotated(halfword_offset(i)));
}

// STR <Rd>, [SP, #<imm8 * 4>]
template <class I>
bool str_sp(I i) {
    cpu_write32(sp_relative(i), i.d8());
    return done();
}

// LDR <Rd>, [SP, #<imm8 * 4>]  (an unaligned SP rotates the word, as LDR does)
template <class I>
bool ldr_sp(I i) {
    return load_into(i.d8(), load_word_rotated(sp_relative(i)));
}

// The record form of a load or a store at `address`: an access that would
// take the bus leaves the whole instruction to the table's handler before
// anything has changed, so that the form itself makes no call.
template <bool (*handler)(ThumbFromRecord), uint32_t (*address)(ThumbFromRecord)>
uint32_t load_record(Decoded* d, const uint8_t* code, uint32_t left) {
    ThumbFromRecord i{*d};
    if (!cpu_reads_in_place(address(i))) [[unlikely]]
        return thumb_run_table(d, code, left);
    handler(i);
    return thumb_next(d, code, left);
}
template <bool (*handler)(ThumbFromRecord), uint32_t (*address)(ThumbFromRecord)>
uint32_t store_record(Decoded* d, const uint8_t* code, uint32_t left) {
    ThumbFromRecord i{*d};
    if (!cpu_writes_in_place(address(i))) [[unlikely]]
        return thumb_run_table(d, code, left);
    handler(i);
    return thumb_next(d, code, left);
}

}  // namespace

bool thumb_ldr_pc() { return ldr_pc(ThumbLatched{}); }
bool thumb_str_reg() { return str_reg(ThumbLatched{}); }
bool thumb_strh_reg() { return strh_reg(ThumbLatched{}); }
bool thumb_strb_reg() { return strb_reg(ThumbLatched{}); }
bool thumb_ldrsb_reg() { return ldrsb_reg(ThumbLatched{}); }
bool thumb_ldr_reg() { return ldr_reg(ThumbLatched{}); }
bool thumb_ldrh_reg() { return ldrh_reg(ThumbLatched{}); }
bool thumb_ldrb_reg() { return ldrb_reg(ThumbLatched{}); }
bool thumb_ldrsh_reg() { return ldrsh_reg(ThumbLatched{}); }
bool thumb_str_imm() { return str_imm(ThumbLatched{}); }
bool thumb_ldr_imm() { return ldr_imm(ThumbLatched{}); }
bool thumb_strb_imm() { return strb_imm(ThumbLatched{}); }
bool thumb_ldrb_imm() { return ldrb_imm(ThumbLatched{}); }
bool thumb_strh_imm() { return strh_imm(ThumbLatched{}); }
bool thumb_ldrh_imm() { return ldrh_imm(ThumbLatched{}); }
bool thumb_str_sp() { return str_sp(ThumbLatched{}); }
bool thumb_ldr_sp() { return ldr_sp(ThumbLatched{}); }

extern const ThumbRecordForm thumb_transfer_records[] = {
    {thumb_ldr_pc, load_record<ldr_pc, pc_relative>},
    {thumb_str_reg, store_record<str_reg, register_offset>},
    {thumb_strh_reg, store_record<strh_reg, register_offset>},
    {thumb_strb_reg, store_record<strb_reg, register_offset>},
    {thumb_ldrsb_reg, load_record<ldrsb_reg, register_offset>},
    {thumb_ldr_reg, load_record<ldr_reg, register_offset>},
    {thumb_ldrh_reg, load_record<ldrh_reg, register_offset>},
    {thumb_ldrb_reg, load_record<ldrb_reg, register_offset>},
    {thumb_ldrsh_reg, load_record<ldrsh_reg, register_offset>},
    {thumb_str_imm, store_record<str_imm, word_offset>},
    {thumb_ldr_imm, load_record<ldr_imm, word_offset>},
    {thumb_strb_imm, store_record<strb_imm, byte_offset>},
    {thumb_ldrb_imm, load_record<ldrb_imm, byte_offset>},
    {thumb_strh_imm, store_record<strh_imm, halfword_offset>},
    {thumb_ldrh_imm, load_record<ldrh_imm, halfword_offset>},
    {thumb_str_sp, store_record<str_sp, sp_relative>},
    {thumb_ldr_sp, load_record<ldr_sp, sp_relative>},
    {nullptr, nullptr},
};

// PUSH {<list>{, LR}}
// A full descending stack as STMFD builds it: the lowest listed register at
// the lowest address, LR above them all, r13 left at the lowest.
bool thumb_push() {
    uint32_t list = cpu_opcode & 0xFF;
    bool lr = cpu_opcode & 0x100;
    uint32_t count = std::popcount(list) + (lr ? 1 : 0);
    uint32_t base = cpu_regs[13] - 4 * count;
    uint32_t address = base;
    for (int i = 0; i < 8; i++) {
        if (list & (1u << i)) {
            cpu_write32(address, cpu_regs[i]);
            address += 4;
        }
    }
    if (lr) cpu_write32(address, cpu_regs[14]);
    cpu_regs[13] = base;
    return done();
}

// POP {<list>{, PC}}
// Reads back what PUSH wrote. A popped PC stays in Thumb state whatever its
// bit 0 holds.
bool thumb_pop() {
    uint32_t list = cpu_opcode & 0xFF;
    uint32_t address = cpu_regs[13];
    for (int i = 0; i < 8; i++) {
        if (list & (1u << i)) {
            cpu_regs[i] = cpu_read32(address);
            address += 4;
        }
    }
    if (cpu_opcode & 0x100) {
        uint32_t target = cpu_read32(address);
        cpu_regs[13] = address + 4;
        cpu_regs[15] = target & ~1u;
        return JUMPED;
    }
    cpu_regs[13] = address;
    return done();
}

namespace {

// The record forms of PUSH and POP: the words move in place where they all
// lie in one fast page; elsewhere the table's handler runs the whole
// instruction, before anything has changed.
uint32_t push_record(Decoded* d, const uint8_t* code, uint32_t left) {
    uint32_t list = d->word & 0xFF;
    bool lr = d->word & 0x100;
    uint32_t count = std::popcount(list) + (lr ? 1 : 0);
    uint32_t base = cpu_regs[13] - 4 * count;
    uint8_t* bytes = cpu_write_span(base & ~3u, count);
    if (!bytes) [[unlikely]]
        return thumb_run_table(d, code, left);
    for (; list; list &= list - 1, bytes += 4)
        __builtin_memcpy(bytes, &cpu_regs[std::countr_zero(list)], 4);
    if (lr) __builtin_memcpy(bytes, &cpu_regs[14], 4);
    cpu_regs[13] = base;
    return thumb_next(d, code, left);
}

uint32_t pop_record(Decoded* d, const uint8_t* code, uint32_t left) {
    uint32_t list = d->word & 0xFF;
    bool pc = d->word & 0x100;
    uint32_t count = std::popcount(list) + (pc ? 1 : 0);
    uint32_t address = cpu_regs[13];
    const uint8_t* bytes = cpu_read_span(address & ~3u, count);
    if (!bytes) [[unlikely]]
        return thumb_run_table(d, code, left);
    for (; list; list &= list - 1, bytes += 4) cpu_regs[std::countr_zero(list)] = load_le32(bytes);
    cpu_regs[13] = address + 4 * count;
    if (!pc) return thumb_next(d, code, left);
    return thumb_continue_at(load_le32(bytes) & ~1u, left);
}

}  // namespace

extern const ThumbRecordForm thumb_block_records[] = {
    {thumb_push, push_record},
    {thumb_pop, pop_record},
    {nullptr, nullptr},
};

// STMIA <Rb>!, {<list>}
// A listed base is stored as it stands at its turn: the original value when
// it is the lowest listed register, else the value advanced past the words
// already stored. An empty list stores nothing and leaves Rb.
bool thumb_stmia() {
    uint32_t rb = (cpu_opcode >> 8) & 7;
    uint32_t list = cpu_opcode & 0xFF;
    uint32_t address = cpu_regs[rb];
    for (uint32_t i = 0; i < 8; i++) {
        if (list & (1u << i)) {
            cpu_write32(address, i == rb ? address : cpu_regs[i]);
            address += 4;
        }
    }
    cpu_regs[rb] = address;
    return done();
}

// LDMIA <Rb>!, {<list>}
// Consecutive words from the original base; Rb is written back past them
// unless it is listed, in which case it keeps the word it loaded.
bool thumb_ldmia() {
    uint32_t rb = (cpu_opcode >> 8) & 7;
    uint32_t list = cpu_opcode & 0xFF;
    uint32_t address = cpu_regs[rb];
    for (int i = 0; i < 8; i++) {
        if (list & (1u << i)) {
            cpu_regs[i] = cpu_read32(address);
            address += 4;
        }
    }
    if (!(list & (1u << rb))) cpu_regs[rb] = address;
    return done();
}
