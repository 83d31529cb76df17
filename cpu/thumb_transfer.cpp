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
#include "cpu/thumb.h"
#include "cpu/thumb_fields.h"
#include "cpu/thumb_handlers.h"
#include "cpu/unaligned.h"

namespace {

template <class I>
uint32_t register_offset_address(I i) {
    return i.s() + i.n();
}

bool load_into(uint32_t& rd, uint32_t value) {
    rd = value;
    return NEXT;
}

bool done() { return NEXT; }

// LDR <Rd>, [PC, #<imm8 * 4>]  (PC word-aligned: the address is aligned)
template <class I>
bool ldr_pc(I i) {
    return load_into(i.d8(), cpu_read32((cpu_regs[15] & ~3u) + 4 * i.imm8()));
}

// STR <Rd>, [<Rb>, <Ro>]
template <class I>
bool str_reg(I i) {
    cpu_write32(register_offset_address(i), i.d());
    return done();
}

// STRH <Rd>, [<Rb>, <Ro>]
template <class I>
bool strh_reg(I i) {
    cpu_write16(register_offset_address(i), i.d() & 0xFFFF);
    return done();
}

// STRB <Rd>, [<Rb>, <Ro>]
template <class I>
bool strb_reg(I i) {
    cpu_write8(register_offset_address(i), i.d() & 0xFF);
    return done();
}

// LDRSB <Rd>, [<Rb>, <Ro>]
template <class I>
bool ldrsb_reg(I i) {
    return load_into(i.d(), load_signed_byte(register_offset_address(i)));
}

// LDR <Rd>, [<Rb>, <Ro>]
template <class I>
bool ldr_reg(I i) {
    return load_into(i.d(), load_word_rotated(register_offset_address(i)));
}

// LDRH <Rd>, [<Rb>, <Ro>]
template <class I>
bool ldrh_reg(I i) {
    return load_into(i.d(), load_halfword_rotated(register_offset_address(i)));
}

// LDRB <Rd>, [<Rb>, <Ro>]
template <class I>
bool ldrb_reg(I i) {
    return load_into(i.d(), cpu_read8(register_offset_address(i)) & 0xFF);
}

// LDRSH <Rd>, [<Rb>, <Ro>]
template <class I>
bool ldrsh_reg(I i) {
    return load_into(i.d(), load_signed_halfword(register_offset_address(i)));
}

// STR <Rd>, [<Rb>, #<imm5 * 4>]
template <class I>
bool str_imm(I i) {
    cpu_write32(i.s() + 4 * i.imm5(), i.d());
    return done();
}

// LDR <Rd>, [<Rb>, #<imm5 * 4>]
template <class I>
bool ldr_imm(I i) {
    return load_into(i.d(), load_word_rotated(i.s() + 4 * i.imm5()));
}

// STRB <Rd>, [<Rb>, #<imm5>]
template <class I>
bool strb_imm(I i) {
    cpu_write8(i.s() + i.imm5(), i.d() & 0xFF);
    return done();
}

// LDRB <Rd>, [<Rb>, #<imm5>]
template <class I>
bool ldrb_imm(I i) {
    return load_into(i.d(), cpu_read8(i.s() + i.imm5()) & 0xFF);
}

// STRH <Rd>, [<Rb>, #<imm5 * 2>]
template <class I>
bool strh_imm(I i) {
    cpu_write16(i.s() + 2 * i.imm5(), i.d() & 0xFFFF);
    return done();
}

// LDRH <Rd>, [<Rb>, #<imm5 * 2>]
template <class I>
bool ldrh_imm(I i) {
    return load_into(i.d(), load_halfword_rotated(i.s() + 2 * i.imm5()));
}

// STR <Rd>, [SP, #<imm8 * 4>]
template <class I>
bool str_sp(I i) {
    cpu_write32(cpu_regs[13] + 4 * i.imm8(), i.d8());
    return done();
}

// LDR <Rd>, [SP, #<imm8 * 4>]  (an unaligned SP rotates the word, as LDR does)
template <class I>
bool ldr_sp(I i) {
    return load_into(i.d8(), load_word_rotated(cpu_regs[13] + 4 * i.imm8()));
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
    {thumb_ldr_pc, thumb_record<ldr_pc>},       {thumb_str_reg, thumb_record<str_reg>},
    {thumb_strh_reg, thumb_record<strh_reg>},   {thumb_strb_reg, thumb_record<strb_reg>},
    {thumb_ldrsb_reg, thumb_record<ldrsb_reg>}, {thumb_ldr_reg, thumb_record<ldr_reg>},
    {thumb_ldrh_reg, thumb_record<ldrh_reg>},   {thumb_ldrb_reg, thumb_record<ldrb_reg>},
    {thumb_ldrsh_reg, thumb_record<ldrsh_reg>}, {thumb_str_imm, thumb_record<str_imm>},
    {thumb_ldr_imm, thumb_record<ldr_imm>},     {thumb_strb_imm, thumb_record<strb_imm>},
    {thumb_ldrb_imm, thumb_record<ldrb_imm>},   {thumb_strh_imm, thumb_record<strh_imm>},
    {thumb_ldrh_imm, thumb_record<ldrh_imm>},   {thumb_str_sp, thumb_record<str_sp>},
    {thumb_ldr_sp, thumb_record<ldr_sp>},       {nullptr, nullptr},
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
