// Instructions decoded once: the interpreter's run loop keeps, for the
// pages of code it runs, a record per instruction with the handler its word
// chose and the fields that handler reads, so that a step neither indexes
// the decoding table nor extracts register numbers again.
//
// A record is a function of its word alone (never of its address), and it
// holds that word. Before each step the loop compares the word in memory
// with the record's and decodes again when they differ, so a store into
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
// Executes the instruction its record describes, as a Handler does (r15
// holds the instruction's address + 8 or + 4), and reports NEXT or JUMPED.
// Unlike a Handler it never writes r15 without reporting JUMPED.
using DecodedRun = bool (*)(const Decoded&);

struct Decoded {
    DecodedRun run;
    uint32_t word;  // the instruction (Thumb: the halfword)
    uint8_t cond;   // ARM: the condition; Thumb: LONG_BRANCH or COND_AL
    uint8_t rd, rn, rm;
    uint32_t operand;  // an immediate or offset ready to use, or a shift amount
    uint8_t shift;     // a shift type, or a rotated immediate's carry out
    union {
        Handler plain;    // the decoding table's handler, for the plain forms
        DecodedRun then;  // what a conditional ARM record form runs when it passes
    };
};

constexpr uint8_t COND_AL = 0xE;
// A Thumb record of BL, whose step takes two cycles (it always jumps).
constexpr uint8_t LONG_BRANCH = 0x10;

// The form of an ARM record with a condition other than AL: when the
// condition passes, `then` (a record form) or arm_run_plain (`plain`),
// else nothing.
DecodedRun arm_run_conditional(uint32_t cond);
DecodedRun arm_run_plain_conditional(uint32_t cond);

// Every other form: latches the word in cpu_opcode and calls the table's
// handler. A handler that writes r15 and reports NEXT goes on at r15 - 4
// (ARM) or r15 - 2 (Thumb), as the sequential fetch does; these report
// JUMPED with r15 set there.
bool arm_run_plain(const Decoded& d);
bool thumb_run_plain(const Decoded& d);

// The record for a word: the form the decoding descriptions choose
// (cpu/arm_table.cpp, cpu/thumb_table.cpp).
void arm_decode_into(Decoded& d, uint32_t word);
void thumb_decode_into(Decoded& d, uint32_t word);

constexpr uint32_t DECODED_SETS = 32;
constexpr uint32_t ARM_PER_PAGE = FAST_PAGE_SIZE / 4;
constexpr uint32_t THUMB_PER_PAGE = FAST_PAGE_SIZE / 2;
extern Decoded arm_decoded_sets[DECODED_SETS][ARM_PER_PAGE];
extern Decoded thumb_decoded_sets[DECODED_SETS][THUMB_PER_PAGE];

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
