// The block translator: a run of ARM instructions from the current PC
// becomes one x86 procedure in code_buffer that returns the block's cycles
// (2 per instruction) in eax. Each instruction goes through
// `translator_table`, indexed like arm_table; MOV #imm and MOV/ADD/SUB with
// a register operand (S clear) get native code, everything else a call of
// its arm_table handler.
//
// Run-time contract: when the code of the instruction at X starts,
// cpu_opcode holds X's opcode and r15 = X + 8; every instruction's code ends
// with the fetch that makes this true for the next one (handlers do not
// fetch: the block does it after them). A block ends after any instruction
// that the decoding description (arm_ends_block) says can write r15 or
// change the state or mode, after 64 instructions, or where the next
// instruction would lie in another region.
#pragma once

#include <cstdint>

// A translator reads xlat_opcode, emits its code and returns 1 when the
// block ends after this instruction.
using Translator = int (*)();

extern Translator translator_table[4096];
extern uint32_t xlat_pc;      // address of the instruction under translation + 8
extern uint32_t xlat_opcode;  // its opcode
extern uint32_t block_cycles;

constexpr uint32_t BLOCK_MAX_INSNS = 64;
// Bound of one instruction's code (condition prologue included) and of a
// whole block: translate_block makes room for the latter before it starts.
constexpr uint32_t INSN_MAX_BYTES = 64;
constexpr uint32_t BLOCK_MAX_BYTES = BLOCK_MAX_INSNS * INSN_MAX_BYTES + 6;

void build_translator_table();
uint8_t* translate_block(uint32_t pc);
int translate_insn();

// Run-time routines the emitted code calls.
uint32_t cond_test();
uint32_t operand2_register_shift();

// The translators, named in translator_table.
int tr_call();
int tr_mov_imm();
int tr_mov_reg();
int tr_add_reg();
int tr_sub_reg();

// Counters for tests and benchmarks.
extern uint64_t blocks_translated;
