// The translation cache: a block's key (r15 when the block is entered, the
// first instruction's address + 8 in ARM code; in Thumb code its address
// + 4 with bit 0 set, so that ARM keys are word-aligned, Thumb keys odd, and
// the same address holds a block of each set) to its entry in code_buffer. An
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

// A key no block has: neither word-aligned nor odd.
constexpr uint32_t NO_KEY = 2;

// `code` points into code_buffer.
void cache_insert(uint32_t key, uint8_t* code);
uint8_t* cache_find(uint32_t key);
void cache_remove(uint32_t key);

bool cache_full();
void cache_clear();

// Entries hold the executable address in 32 bits: the buffer lies in static
// storage below 2 GiB.
struct IndirectEntry {
    uint32_t key;
    uint32_t code;
};
constexpr uint32_t INDIRECT_ENTRIES = 2048;
// Halfwords apart: Thumb blocks may start at neighbouring halfwords.
inline uint32_t indirect_index(uint32_t key) { return (key >> 1) & (INDIRECT_ENTRIES - 1); }
extern IndirectEntry indirect_table[INDIRECT_ENTRIES];
// Where the dispatch routine goes on a miss (set when it is emitted): the
// code of every empty entry, so that a key equal to an empty entry's
// still misses.
extern uint32_t indirect_miss;

// Makes the block at `code` the one the indirect table gives for the key.
void indirect_fill(uint32_t key, const uint8_t* code);
