// The Dynarec method: runs of ARM and Thumb instructions translated into
// x86 machine code, cached by address and instruction set and called
// natively. cpu_run calls `dynarec_run` while F6 has chosen the method.
#pragma once

#include <cstdint>

// False on hosts where the recompiler is not built; F6 then does nothing.
bool dynarec_available();

// Runs exactly one translated block (or, where none can run, one
// instruction on the interpreter) and returns its cycles in the low 16
// bits and its steps in the high 16: the unit of the block-by-block
// differential tests.
uint32_t dynarec_step();

// Runs code of either instruction set from what is left of a line's
// budget, `extra` cycles per step on top of each instruction's own,
// exactly as the interpreter's loop would, until the budget is spent or no
// whole block fits in what is left: the caller's interpreter runs the
// line's last steps then (the same steps either way). Returns the cycles
// used; adds the steps.
uint32_t dynarec_run(uint32_t budget, uint32_t extra, uint64_t& steps);

// How many times the run loop meets a block start it has no block for
// before it translates one there: 0 (the default) for the counts measured
// on the benchmarks (run_loop.cpp), 1 to translate at the first meeting,
// as tests of what translated code does want.
void dynarec_translate_after(uint32_t meetings);

// Allocates the code buffer and builds the translator table; first step of
// start-up. code_buffer_release gives the buffer back at the end.
void code_buffer_init();
void code_buffer_release();

// Forgets every translation (on a cartridge load and when the code buffer
// or the cache is full): cache, blocks, links and buffer. A store over
// translated code drops only the blocks it overwrote (invalidation.h).
void dynarec_flush();
// How many times dynarec_flush has emptied everything, and how many blocks
// were translated, since start-up.
extern uint64_t dynarec_flush_count;
extern uint64_t blocks_translated;

// Called by code_buffer_init and code_buffer_release: install and remove
// the bus-write watch over translated code.
void dynarec_start();
void dynarec_stop();
