// The translation cache: key PC (r15 when the block is entered, the first
// instruction's address + 8) to the block's entry in code_buffer. An
// open-addressed table over the whole key with linear probing, never more
// than half full, so that a look-up costs a probe or two whatever the
// addresses: programs run the same code through mirrors whose addresses
// differ only in their high bits.
//
// In front of it, the indirect table that translated code probes inline
// (the dispatch routine): direct-mapped, a slot per low bits of the key.
// A block leaves both at once: cache_remove when a store overwrote it,
// cache_clear when the recompiler empties everything (the buffer is full,
// a cartridge is loaded).
#pragma once

#include <cstdint>

// Blocks the cache holds; the translator empties everything before more.
// Removing a block does not give its room back before the next emptying.
constexpr uint32_t CACHE_CAPACITY = 1u << 16;

// `code` points into code_buffer.
void cache_insert(uint32_t pc, uint8_t* code);
uint8_t* cache_find(uint32_t pc);
void cache_remove(uint32_t pc);

bool cache_full();
void cache_clear();

// Entries hold the executable address in 32 bits: the buffer lies in static
// storage below 2 GiB.
struct IndirectEntry {
    uint32_t pc;
    uint32_t code;
};
constexpr uint32_t INDIRECT_ENTRIES = 1024;
extern IndirectEntry indirect_table[INDIRECT_ENTRIES];
// Where the dispatch routine goes on a miss (set when it is emitted): the
// code of every empty entry, so that an r15 equal to an empty entry's pc
// still misses.
extern uint32_t indirect_miss;

// Makes the block at `code` the one the indirect table gives for pc.
void indirect_fill(uint32_t pc, const uint8_t* code);
