// Instructions decoded once: the interpreter's run loop keeps, for the
// pages of code it runs, a record per instruction with the handler its word
// chose and the fields that handler reads, so that a step neither indexes
// the decoding table nor extracts register numbers again.
//
// A record is a function of its word alone (never of its address), and it
// holds that word. Before each step the word in memory is compared with
// the record's (by the form before it, or by the loop where a run starts)
// and decoded again when they differ, so a store into
// code by any route (a handler, DMA3, translated code, a test writing an
// array) is seen at the next fetch of that word, with nothing to
// invalidate; and a record left over from another page that shares its
// slot is still right for the word it holds.
//
// Records live in sets of one 4 KB page each (1024 ARM or 2048 Thumb
// instructions). Pages that share a set take turns in it.
#pragma once

#include <cstdint>

#include "cpu/cpu.h"
#include "memory/memory.h"

struct Decoded;
// Executes the instruction its record describes, as a Handler does, then
// goes on to the next record itself, instruction after instruction: the
// records are threaded, each form ending in the next one's word check and
// a jump to its form. `left` (at least 1) is how many steps the run may
// take from here; the caller bounds it by the page's end, so that only a
// jump can leave the page, and by ARM_RUN/THUMB_RUN, so that a build
// without tail calls (a Debug build) nests a bounded number of calls.
//
// While a run goes on, r15 is not written step by step: it follows from
// the record's place in its set (arm_r15_of, thumb_r15_of), and the forms
// that read it (a plain handler, a conditional record, a record with r15
// in a register field; cpu/arm_table.cpp and cpu/thumb_table.cpp choose
// them) set it to the instruction's address + 8 or + 4 first.
//
// A run stops when `left` is spent, after an instruction that changes the
// instruction set or writes r15 as a plain handler does, or at a jump to a
// page without a fast read entry; a jump to another page with one goes on
// there (arm_continue_at, thumb_continue_at). It returns the steps of
// `left` it did not take (less those a branch forward set aside:
// run_steps_set_aside) and leaves r15 at the address (no + 8 or + 4) of
// the instruction that comes next; a Thumb BL, which ends a run, adds
// LONG_STEP to the count.
using DecodedRun = uint32_t (*)(Decoded* d, const uint8_t* code, uint32_t left);

// 32 bytes on either host (a power of two: a record's place follows from its
// address).
struct alignas(32) Decoded {
    DecodedRun run;
    uint32_t word;  // the instruction (Thumb: the halfword)
    uint8_t cond;   // ARM: the condition; Thumb: LONG_BRANCH or COND_AL
    uint8_t rd, rn, rm;
    uint32_t operand;  // an immediate or offset ready to use, or a shift amount
    uint8_t shift;     // a shift type, or a rotated immediate's carry out
    // Block transfers: the lowest address and the written-back base, as
    // words from the base (`operand` holds the list, `shift` its count).
    int8_t lowest_word, written_back_word;
    union {
        Handler plain;    // the decoding table's handler, for the plain forms
        DecodedRun then;  // what a conditional record, or one that reads r15, runs
    };
};

constexpr uint8_t COND_AL = 0xE;
// A Thumb record of BL, whose step takes two cycles (it always jumps).
constexpr uint8_t LONG_BRANCH = 0x10;
// Added to what a run returns when its last step was a LONG_BRANCH.
constexpr uint32_t LONG_STEP = 1u << 31;

// The most steps one run is given: a page's worth. Without tail calls a
// run nests three calls a step; a Debug build with the sanitizers runs
// bench_arm and bench_thumb in a 256 KB stack.
constexpr uint32_t ARM_RUN = 1024;
constexpr uint32_t THUMB_RUN = 2048;

static_assert(sizeof(Decoded) == 32, "arm_r15_of and thumb_r15_of count records of 32 bytes");

// What r15 reads during the run, by the record's address: the loop sets
// the bias when a run starts (a run stays in one page, whose records are
// consecutive).
extern uint32_t run_r15_bias;
inline uint32_t arm_r15_of(const Decoded* d) {
    return uint32_t(reinterpret_cast<uintptr_t>(d) >> 3) + run_r15_bias;  // 4 bytes a record
}
inline uint32_t thumb_r15_of(const Decoded* d) {
    return uint32_t(reinterpret_cast<uintptr_t>(d) >> 4) + run_r15_bias;  // 2 bytes a record
}
// The bias for a run that starts at `d` with r15 = `r15`.
inline void arm_start_run(const Decoded* d, uint32_t r15) {
    run_r15_bias = r15 - uint32_t(reinterpret_cast<uintptr_t>(d) >> 3);
}
inline void thumb_start_run(const Decoded* d, uint32_t r15) {
    run_r15_bias = r15 - uint32_t(reinterpret_cast<uintptr_t>(d) >> 4);
}

// The form of an ARM record with a condition other than AL: when the
// condition passes, r15 set and `then` (a record form) or arm_run_plain
// (`plain`), else nothing.
DecodedRun arm_run_conditional(uint32_t cond);
DecodedRun arm_run_plain_conditional(uint32_t cond);
// The form of a record (AL, for ARM) whose form reads r15: r15 set, then
// `then`.
uint32_t arm_run_with_r15(Decoded* d, const uint8_t* code, uint32_t left);
uint32_t thumb_run_with_r15(Decoded* d, const uint8_t* code, uint32_t left);

// Every other form: latches the word in cpu_opcode and calls the table's
// handler. A handler that writes r15 and reports NEXT goes on at r15 - 4
// (ARM) or r15 - 2 (Thumb), as the sequential fetch does; either way a
// write of r15 ends the run there.
uint32_t arm_run_plain(Decoded* d, const uint8_t* code, uint32_t left);
uint32_t thumb_run_plain(Decoded* d, const uint8_t* code, uint32_t left);
// The same with the table's handler for the record's word: where a record
// form's memory access has no fast page, the form runs the whole
// instruction this way instead, before it has changed anything. Out of
// line and cold, so that the forms' fast paths make no call and need
// nothing saved.
[[gnu::cold, gnu::noinline]] uint32_t arm_run_table(Decoded* d, const uint8_t* code, uint32_t left);
[[gnu::cold, gnu::noinline]] uint32_t thumb_run_table(Decoded* d, const uint8_t* code,
                                                      uint32_t left);

// The record for a word: the form the decoding descriptions choose
// (cpu/arm_table.cpp, cpu/thumb_table.cpp).
void arm_decode_into(Decoded& d, uint32_t word);
void thumb_decode_into(Decoded& d, uint32_t word);

constexpr uint32_t DECODED_SETS = 32;
constexpr uint32_t ARM_PER_PAGE = FAST_PAGE_SIZE / 4;
constexpr uint32_t THUMB_PER_PAGE = FAST_PAGE_SIZE / 2;
// Each set starts at a multiple of its size, so that a record's address
// tells its place in the page (arm_index_of, thumb_index_of).
constexpr uint32_t ARM_SET_BYTES = ARM_PER_PAGE * sizeof(Decoded);
constexpr uint32_t THUMB_SET_BYTES = THUMB_PER_PAGE * sizeof(Decoded);
alignas(ARM_SET_BYTES) extern Decoded arm_decoded_sets[DECODED_SETS][ARM_PER_PAGE];
alignas(THUMB_SET_BYTES) extern Decoded thumb_decoded_sets[DECODED_SETS][THUMB_PER_PAGE];

inline uint32_t arm_index_of(const Decoded* d) {
    return uint32_t(reinterpret_cast<uintptr_t>(d) / sizeof(Decoded)) & (ARM_PER_PAGE - 1);
}
inline uint32_t thumb_index_of(const Decoded* d) {
    return uint32_t(reinterpret_cast<uintptr_t>(d) / sizeof(Decoded)) & (THUMB_PER_PAGE - 1);
}

// Programs often call between the image, work RAM and internal RAM at the
// same offsets: the region number moves the set.
inline uint32_t decoded_set_of(uint32_t address) {
    return ((address >> FAST_PAGE_SHIFT) + (address >> 24) * 7) & (DECODED_SETS - 1);
}

// The record slot of the instruction at `address`; the slots of one page
// follow each other.
inline Decoded* arm_decoded_at(uint32_t address) {
    return &arm_decoded_sets[decoded_set_of(address)][(address >> 2) & (ARM_PER_PAGE - 1)];
}
inline Decoded* thumb_decoded_at(uint32_t address) {
    return &thumb_decoded_sets[decoded_set_of(address)][(address >> 1) & (THUMB_PER_PAGE - 1)];
}

// Fills every slot with the record of word 0, so that every slot holds a
// record that is right for the word it names (a zeroed slot would name word
// 0 with no form); build_arm_table and build_thumb_table call them.
void reset_arm_decoded();
void reset_thumb_decoded();

// Decodes the word at `code` into *d, which held another, and runs it
// (the _next_ forms: the word after, into d + 1). Out of line and cold, so
// that the forms that end in a word check need nothing saved for it, and
// take the record before it, so that its address is computed only when
// the check passes.
[[gnu::cold, gnu::noinline]] uint32_t arm_decode_and_run(Decoded* d, const uint8_t* code,
                                                         uint32_t left);
[[gnu::cold, gnu::noinline]] uint32_t arm_decode_next_and_run(Decoded* d, const uint8_t* code,
                                                              uint32_t left);
[[gnu::cold, gnu::noinline]] uint32_t thumb_decode_and_run(Decoded* d, const uint8_t* code,
                                                           uint32_t left);
[[gnu::cold, gnu::noinline]] uint32_t thumb_decode_next_and_run(Decoded* d, const uint8_t* code,
                                                                uint32_t left);

// The start of every step: the record checked against the word in memory,
// then its form.
inline uint32_t arm_enter(Decoded* d, const uint8_t* code, uint32_t left) {
    DecodedRun run = d->run;  // read before the check: the hot path then needs no copy of d
    if (load_le32(code) != d->word) [[unlikely]]
        return arm_decode_and_run(d, code, left);
    return run(d, code, left);
}
inline uint32_t thumb_enter(Decoded* d, const uint8_t* code, uint32_t left) {
    DecodedRun run = d->run;  // read before the check: the hot path then needs no copy of d
    if (load_le16(code) != d->word) [[unlikely]]
        return thumb_decode_and_run(d, code, left);
    return run(d, code, left);
}

// How a form ends after an instruction that goes on with the next one.
inline uint32_t arm_next(Decoded* d, const uint8_t* code, uint32_t left) {
    if (--left == 0) {
        cpu_regs[15] = arm_r15_of(d) - 4;
        return 0;
    }
    DecodedRun run = d[1].run;
    if (load_le32(code + 4) != d[1].word) [[unlikely]]
        return arm_decode_next_and_run(d, code, left);
    return run(d + 1, code + 4, left);
}
inline uint32_t thumb_next(Decoded* d, const uint8_t* code, uint32_t left) {
    if (--left == 0) {
        cpu_regs[15] = thumb_r15_of(d) - 2;
        return 0;
    }
    DecodedRun run = d[1].run;
    if (load_le16(code + 2) != d[1].word) [[unlikely]]
        return thumb_decode_next_and_run(d, code, left);
    return run(d + 1, code + 2, left);
}

// The host bytes of the page that starts at `page_address`, or null where
// it has no fast read entry: code there (IO, palette, past the image) runs
// through the latch.
inline const uint8_t* code_page_bytes(uint32_t page_address) {
    uintptr_t page = fast_read_pages[fast_page_index(page_address)];
    if (!page) return nullptr;
    return reinterpret_cast<const uint8_t*>(page + (page_address & CONSOLE_ADDRESS_MASK));
}

// Steps of a run's `left` that a branch forward set aside to keep the run
// within its page (arm_branch, thumb_branch): not taken, as the steps the
// run returns are not. The loop clears it before each run.
extern uint32_t run_steps_set_aside;

// Set while a run must stop where its code leaves the page: the
// recompiler's loop counts the block starts it meets there.
extern bool runs_stay_in_page;

// How a form ends after an ARM instruction that goes on at `target` (as
// the loop would set r15 before adding 8), in any page: in the same run
// where the target's page has a fast read entry (and runs may leave their
// page), with the steps set aside given back up to that page's end, else
// the run stops. Out of line: the forms reach it in a tail call.
[[gnu::noinline]] uint32_t arm_continue_at(uint32_t target, uint32_t left);
// The same after a Thumb instruction that goes on in Thumb code at
// `target` (bit 0 clear).
[[gnu::noinline]] uint32_t thumb_continue_at(uint32_t target, uint32_t left);

// How a branch's form ends: it goes on `moved` instructions from this one
// (a signed count), in the same run where that lies in the page, else
// through arm_continue_at or thumb_continue_at. A run's `left` never
// reaches past the page's end: a branch back keeps it so, one forward cuts
// it to the page's end and sets the rest aside.
inline uint32_t arm_branch(Decoded* d, const uint8_t* code, uint32_t left, int32_t moved) {
    uint32_t to = arm_index_of(d) + moved;
    if (to >= ARM_PER_PAGE) [[unlikely]]
        return arm_continue_at(arm_r15_of(d) - 8 + 4 * moved, left);
    --left;
    if (left == 0) [[unlikely]] {
        cpu_regs[15] = arm_r15_of(d) - 8 + 4 * moved;
        return 0;
    }
    if (moved > 0 && left > ARM_PER_PAGE - to) [[unlikely]] {
        run_steps_set_aside += left - (ARM_PER_PAGE - to);
        left = ARM_PER_PAGE - to;
    }
    return arm_enter(d + moved, code + 4 * moved, left);
}
inline uint32_t thumb_branch(Decoded* d, const uint8_t* code, uint32_t left, int32_t moved) {
    uint32_t to = thumb_index_of(d) + moved;
    if (to >= THUMB_PER_PAGE) [[unlikely]]
        return thumb_continue_at(thumb_r15_of(d) - 4 + 2 * moved, left);
    --left;
    if (left == 0) [[unlikely]] {
        cpu_regs[15] = thumb_r15_of(d) - 4 + 2 * moved;
        return 0;
    }
    if (moved > 0 && left > THUMB_PER_PAGE - to) [[unlikely]] {
        run_steps_set_aside += left - (THUMB_PER_PAGE - to);
        left = THUMB_PER_PAGE - to;
    }
    return thumb_enter(d + moved, code + 2 * moved, left);
}
