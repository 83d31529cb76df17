// The x86 back end: lowers a decoded block (decoded.h) through the x86
// forms (x86.h) into the code buffer, and the fixed routines every block
// leaves through (run_loop.cpp).
//
// Translated code runs inside the run loop, with two host registers fixed:
//   STATE    (rbx/ebx) the address of the processor record `cpu`;
//   COUNTER  (ebp)     the steps the line's budget still allows.
// A block starts by checking that the counter covers all its instructions
// (else it leaves to C, where the interpreter takes the rest of the line)
// and charging them. ARM registers and the flag bytes live in the record;
// r15 is written at every exit (the address of the next instruction + 8),
// and the opcode latch is written only before a handler call: C latches the
// next instruction itself when translated code returns.
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

// Bound of one block's code (header and exits included): translate_block
// makes room for it first. The longest lowering of an instruction, its
// condition test and a stale-code exit together stay under 128 bytes.
constexpr uint32_t BLOCK_MAX_BYTES = 128 * BLOCK_MAX_INSNS + 64;

// Called by translated code after a handler that may continue elsewhere,
// to latch the next instruction as the interpreter does: after a jump, the
// instruction at r15 in the instruction set the T bit names; otherwise the
// sequential fetch, at r15 - 4. Both return whether translated code may go
// on: the processor is still in ARM state, and the handler wrote over no
// translated code (a store that also writes r15 is such a handler).
bool refill_after_jump();
bool fetch_after_handler();

// Points the exit whose rel32 is at `site` at a block, or back at its own
// unlinked tail; the caller has made the buffer writable.
void link_exit(uint32_t site, const uint8_t* target);
void unlink_exit(uint32_t site);

// Emits the block at code_pos: a 4-byte header holding its instruction
// count, then the entry, which the returned address points at.
uint8_t* emit_block(const DecodedBlock& block);

// A memory operand for a field of the processor record.
x86::Mem state_field(const void* field);
