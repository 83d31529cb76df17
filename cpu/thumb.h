// Thumb decoding: one description of the instruction set
// (cpu/thumb_table.cpp) from which `thumb_table` (one handler per value of
// opcode bits 15-6) and `thumb_facts` are built, and the step that
// dispatches through it.
//
// A handler decodes cpu_opcode itself (r15 holds the instruction's address
// + 4), executes it and reports NEXT or JUMPED (cpu/cpu.h); it never
// fetches.
#pragma once

#include <cstdint>

#include "cpu/arm.h"

extern Handler thumb_table[1024];

inline uint32_t thumb_index(uint32_t opcode) { return (opcode >> 6) & 0x3FF; }

void build_thumb_table();

// A handler and the form of it that runs from a decoded record. Each
// handler file lists its own, ending with a null pair; build_thumb_table
// pairs every table entry with its record form.
struct Decoded;
struct ThumbRecordForm {
    Handler handler;
    uint32_t (*record)(Decoded* d, const uint8_t* code, uint32_t left);
};
extern const ThumbRecordForm thumb_alu_records[];
extern const ThumbRecordForm thumb_transfer_records[];
extern const ThumbRecordForm thumb_branch_records[];
extern const ThumbRecordForm thumb_block_records[];
// B<cond>'s record form for a condition other than 15 (SWI's encoding).
uint32_t (*thumb_b_cond_record(uint32_t cond))(Decoded* d, const uint8_t* code, uint32_t left);
// The record form of LSL, LSR or ASR by an immediate of 1-31, null for any
// other handler.
uint32_t (*thumb_short_shift_record(Handler handler))(Decoded* d, const uint8_t* code,
                                                      uint32_t left);

// Facts per index, as for ARM (cpu/arm.h).
enum ThumbFact : uint16_t {
    THUMB_JUMPS = 1 << 0,           // B, B<cond> (when taken), BL, BX, SWI
    THUMB_WRITES_HIGH_RD = 1 << 1,  // ADD/MOV high: r15 when H1 and Rd are set
    THUMB_POPS_LIST = 1 << 2,       // POP: r15 when bit 8 is set
    THUMB_CHANGES_STATE = 1 << 3,   // BX, SWI
    THUMB_READS_C = 1 << 4,
    THUMB_READS_FLAGS = 1 << 5,  // SWI (all four); B<cond> reads its condition's
    THUMB_SETS_NZ = 1 << 6,
    THUMB_SETS_C = 1 << 7,
    THUMB_SETS_V = 1 << 8,
};
extern uint16_t thumb_facts[1024];

bool thumb_writes_pc(uint32_t opcode);
bool thumb_changes_state(uint32_t opcode);
uint32_t thumb_flags_read(uint32_t opcode);
uint32_t thumb_flags_set(uint32_t opcode);

// BL's two halfwords run as one step of two cycles; every other Thumb
// instruction takes one.
inline uint32_t thumb_cycles(uint32_t opcode) {
    return opcode >= 0xF000 ? 2 * THUMB_CYCLES : THUMB_CYCLES;
}

// Executes the latched Thumb instruction and latches the next (in ARM
// state after a BX there). Returns the instruction's cycles; `jumped`, if
// given, says whether it jumped.
inline uint32_t thumb_execute(bool* jumped = nullptr) {
    uint32_t opcode = cpu_opcode;
    bool jump = thumb_table[thumb_index(opcode)]();
    if (jump) {
        cpu_refill();
    } else {
        thumb_fetch();
    }
    if (jumped) *jumped = jump;
    return thumb_cycles(opcode);
}
