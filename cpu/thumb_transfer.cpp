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
#include "cpu/thumb_handlers.h"
#include "cpu/unaligned.h"

namespace {

uint32_t& reg_d() { return cpu_regs[cpu_opcode & 7]; }
uint32_t reg_b() { return cpu_regs[(cpu_opcode >> 3) & 7]; }
uint32_t register_offset_address() { return reg_b() + cpu_regs[(cpu_opcode >> 6) & 7]; }
uint32_t imm5() { return (cpu_opcode >> 6) & 31; }
uint32_t& reg_d_high_field() { return cpu_regs[(cpu_opcode >> 8) & 7]; }
uint32_t imm8() { return cpu_opcode & 0xFF; }

bool load_into(uint32_t& rd, uint32_t value) {
    rd = value;
    return NEXT;
}

bool done() { return NEXT; }

}  // namespace

// LDR <Rd>, [PC, #<imm8 * 4>]  (PC word-aligned: the address is aligned)
bool thumb_ldr_pc() {
    return load_into(reg_d_high_field(), cpu_read32((cpu_regs[15] & ~3u) + 4 * imm8()));
}

// STR <Rd>, [<Rb>, <Ro>]
bool thumb_str_reg() {
    cpu_write32(register_offset_address(), reg_d());
    return done();
}

// STRH <Rd>, [<Rb>, <Ro>]
bool thumb_strh_reg() {
    cpu_write16(register_offset_address(), reg_d() & 0xFFFF);
    return done();
}

// STRB <Rd>, [<Rb>, <Ro>]
bool thumb_strb_reg() {
    cpu_write8(register_offset_address(), reg_d() & 0xFF);
    return done();
}

// LDRSB <Rd>, [<Rb>, <Ro>]
bool thumb_ldrsb_reg() { return load_into(reg_d(), load_signed_byte(register_offset_address())); }

// LDR <Rd>, [<Rb>, <Ro>]
bool thumb_ldr_reg() { return load_into(reg_d(), load_word_rotated(register_offset_address())); }

// LDRH <Rd>, [<Rb>, <Ro>]
bool thumb_ldrh_reg() {
    return load_into(reg_d(), load_halfword_rotated(register_offset_address()));
}

// LDRB <Rd>, [<Rb>, <Ro>]
bool thumb_ldrb_reg() { return load_into(reg_d(), cpu_read8(register_offset_address()) & 0xFF); }

// LDRSH <Rd>, [<Rb>, <Ro>]
bool thumb_ldrsh_reg() {
    return load_into(reg_d(), load_signed_halfword(register_offset_address()));
}

// STR <Rd>, [<Rb>, #<imm5 * 4>]
bool thumb_str_imm() {
    cpu_write32(reg_b() + 4 * imm5(), reg_d());
    return done();
}

// LDR <Rd>, [<Rb>, #<imm5 * 4>]
bool thumb_ldr_imm() { return load_into(reg_d(), load_word_rotated(reg_b() + 4 * imm5())); }

// STRB <Rd>, [<Rb>, #<imm5>]
bool thumb_strb_imm() {
    cpu_write8(reg_b() + imm5(), reg_d() & 0xFF);
    return done();
}

// LDRB <Rd>, [<Rb>, #<imm5>]
bool thumb_ldrb_imm() { return load_into(reg_d(), cpu_read8(reg_b() + imm5()) & 0xFF); }

// STRH <Rd>, [<Rb>, #<imm5 * 2>]
bool thumb_strh_imm() {
    cpu_write16(reg_b() + 2 * imm5(), reg_d() & 0xFFFF);
    return done();
}

// LDRH <Rd>, [<Rb>, #<imm5 * 2>]
bool thumb_ldrh_imm() { return load_into(reg_d(), load_halfword_rotated(reg_b() + 2 * imm5())); }

// STR <Rd>, [SP, #<imm8 * 4>]
bool thumb_str_sp() {
    cpu_write32(cpu_regs[13] + 4 * imm8(), reg_d_high_field());
    return done();
}

// LDR <Rd>, [SP, #<imm8 * 4>]  (an unaligned SP rotates the word, as LDR does)
bool thumb_ldr_sp() {
    return load_into(reg_d_high_field(), load_word_rotated(cpu_regs[13] + 4 * imm8()));
}

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
