// The x86 back end: lowers a decoded block (decoded.h) through the x86
// forms (x86.h) into the code buffer, and the fixed routines every block
// leaves through (run_loop.cpp).
//
// Translated code runs inside the run loop, with two host registers fixed:
//   STATE    (rbx/ebx) the address of the processor record `cpu`;
//   COUNTER  (ebp)     the steps the line's budget still allows.
// A block starts by charging all its instructions to the counter (and
// leaves to C when it cannot cover them, where the interpreter takes the
// rest of the line). The flag bytes live in the record, and so do the ARM
// registers between blocks: within one, those it uses most are held in
// host registers (backend.cpp). r15 (the address of the next instruction
// + 8) is written wherever C or the indirect table will read it: before a
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

// Bound of a block's code (header and exits included): translate_block
// makes room for it first.
uint32_t block_code_bound(const DecodedBlock& block);

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
