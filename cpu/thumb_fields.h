// The two ways a Thumb handler reaches its fields, as for ARM: Latched
// reads them from cpu_opcode, FromRecord from a decoded record, which
// thumb_decode_into fills by the instruction's format:
//   rd       bits 2-0, or bits 10-8 in the eight-bit-immediate formats, or
//            H1:bits 2-0 in the high-register format;
//   rm       bits 5-3 (Rs, Rb), or H2:bits 5-3 in the high-register format;
//   rn       bits 8-6 (Rn, Ro);
//   operand  bits 10-6 (imm5, imm3 in its low bits), or bits 7-0 in the
//            eight-bit-immediate formats.
// Each handler file writes its handlers once, as templates over the view,
// and lists the record forms it offers (ThumbRecordForm, cpu/thumb.h).
#pragma once

#include <cstdint>

#include "cpu/cpu.h"
#include "cpu/decoded.h"

struct ThumbLatched {
    uint32_t& d() const { return cpu_regs[cpu_opcode & 7]; }
    uint32_t s() const { return cpu_regs[(cpu_opcode >> 3) & 7]; }
    uint32_t n() const { return cpu_regs[(cpu_opcode >> 6) & 7]; }
    uint32_t imm3() const { return (cpu_opcode >> 6) & 7; }
    uint32_t imm5() const { return (cpu_opcode >> 6) & 31; }
    uint32_t& d8() const { return cpu_regs[(cpu_opcode >> 8) & 7]; }
    uint32_t imm8() const { return cpu_opcode & 0xFF; }
    uint32_t high_d() const { return (cpu_opcode & 7) | ((cpu_opcode >> 4) & 8); }
    uint32_t high_s() const { return (cpu_opcode >> 3) & 15; }
};

struct ThumbFromRecord {
    const Decoded& r;
    uint32_t& d() const { return cpu_regs[r.rd]; }
    uint32_t s() const { return cpu_regs[r.rm]; }
    uint32_t n() const { return cpu_regs[r.rn]; }
    uint32_t imm3() const { return r.operand & 7; }
    uint32_t imm5() const { return r.operand; }
    uint32_t& d8() const { return cpu_regs[r.rd]; }
    uint32_t imm8() const { return r.operand; }
    uint32_t high_d() const { return r.rd; }
    uint32_t high_s() const { return r.rm; }
};

// The record form of a handler written over the view.
template <bool (*handler)(ThumbFromRecord)>
bool thumb_record(const Decoded& d) {
    return handler(ThumbFromRecord{d});
}
