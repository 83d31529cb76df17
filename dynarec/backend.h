// The x86 back end: lowers a decoded block (decoded.h) through the x86
// forms (x86.h) into the code buffer, and the fixed routines every block
// leaves through (run_loop.cpp).
//
// Translated code runs inside the run loop, with two host registers fixed:
//   STATE    (rbx/ebx) the address of the processor record `cpu`;
//   COUNTER  (ebp)     the cycles left of the line's budget, plus an ARM
//                      step (signed; TranslatedClock).
// A block starts by checking that the counter covers all its instructions
// (else it leaves to C, where the interpreter takes the rest of the line)
// and charging them (translated_clock). The flag bytes live in the record;
// a fixed set of ARM registers lives in host registers for as long as
// translated code runs, from the entry routine to the leave routine, and
// the rest in the record (backend.cpp). r15 (the address of the
// next instruction + 8 in ARM code, + 4 in Thumb code) is written wherever
// C or the indirect table will read it: before a
// handler call, at every exit to C or through the indirect table, and by a
// block that finds the counter too low at its start; a linked jump from one
// block to the next does not write it. The opcode latch is written only
// before a handler call: C latches the next instruction itself when
// translated code returns.
//
// Loads and stores read and write memory in place through the fast page
// tables (memory.h) and call their handler where the page has no entry or
// the access is not aligned: a page holding translated code has no write
// entry, so every store into it goes through the bus and its code watch.
//
// Exits: to a known address, a jump that starts unlinked (through the link
// routine, which finds the successor and patches the jump to it, until a
// store drops the successor and the jump goes back to its tail); to an
// address known only at run time, the dispatch routine (a probe of the
// indirect table, then C); after a store that wrote over translated code,
// back to C with the unexecuted instructions given back.
#pragma once

#include <cstdint>

#include "dynarec/decoded.h"
#include "dynarec/x86.h"

constexpr x86::RegPtr STATE = x86::ptr(x86::ebx);
constexpr x86::Reg32 COUNTER = x86::ebp;

// Run-time addresses of the fixed routines, emitted once at the start of
// the buffer (run_loop.cpp).
extern uintptr_t leave_routine;     // back to C: the counter is the result
extern uintptr_t dispatch_routine;  // continue at r15 through the indirect table
extern uintptr_t link_routine;      // eax = position of the rel32 to patch
// After a handler that may continue elsewhere, by its report: r15 made the
// next instruction's as the interpreter's fetch leaves it (after a jump, the
// instruction at r15 in the set the T bit names; else the sequential one,
// where a write-back into r15 put it), then on through the dispatch routine,
// or back to C when the handler wrote over translated code.
extern uintptr_t jumped_routine, next_routine;

// The clock of translated code, on the interpreter's rule: a step starts
// while the cycles spent are below the budget, and costs its own cycles
// plus the line's extra, so the last may pass the budget (the counter ends
// below zero by less than a step). What n steps cost depends on the extra,
// so blocks read it here, where the run loop puts it for each run; a step
// of more cycles than its set's usual (a Thumb BL pair) adds the surplus as
// a constant. Thumb blocks also count their steps and surplus, from which C
// tells how many steps a run of mixed ARM and Thumb code took.
//
// The counter runs one ARM step ahead (it holds the cycles left plus an
// ARM step's cost, costs[0][1]), so that an ARM block tests and charges in
// one subtraction: it runs while the counter exceeds what all its steps but
// the last cost, that is while the counter less all its steps stays above
// zero. Thumb blocks compare first, against thumb_checks.
struct TranslatedClock {
    int32_t costs[2][BLOCK_MAX_INSNS + 1];      // [thumb][n]: n steps of the set's usual cycles
    int32_t thumb_checks[BLOCK_MAX_INSNS + 1];  // costs[1][n] + an ARM step
    uint32_t thumb_steps;
    uint32_t surplus_cycles;
};
extern TranslatedClock translated_clock;

// A block's header: its steps in the high half, its cycles without the
// extra in the low half (what dynarec_step returns for a whole block).
constexpr uint32_t block_header(uint32_t steps, uint32_t cycles) { return steps << 16 | cycles; }

// Bound of a block's code (header and exits included): translate_block
// makes room for it first.
uint32_t block_code_bound(const DecodedBlock& block);

// Points the exit whose rel32 is at `site` at a block, or back at its own
// unlinked tail; the caller has made the buffer writable.
void link_exit(uint32_t site, const uint8_t* target);
void unlink_exit(uint32_t site);

// Emits the block at code_pos: its 4-byte header (block_header), then the
// entry, which the returned address points at.
uint8_t* emit_block(const DecodedBlock& block);

// The held ARM registers, stored into the record (before C runs) and loaded
// from it (after): for the fixed routines.
void emit_pool_write_back();
void emit_pool_reload();

// A memory operand for a field of the processor record.
x86::Mem state_field(const void* field);
