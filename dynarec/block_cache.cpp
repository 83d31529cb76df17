// The translation cache's table and the indirect table in front of it.
#include "dynarec/block_cache.h"

#include "dynarec/code_buffer.h"

IndirectEntry indirect_table[INDIRECT_ENTRIES];
uint32_t indirect_miss = 0;

namespace {

constexpr uint32_t SLOT_BITS = 17;  // twice CACHE_CAPACITY
constexpr uint32_t SLOTS = 1u << SLOT_BITS;
constexpr uint32_t MASK = SLOTS - 1;

// The block's offset in code_buffer + 1, so that 0 marks a free slot.
struct Slot {
    uint32_t key;
    uint32_t entry;
};

Slot slots[SLOTS];
// Every slot filled since the last emptying, so that emptying costs what
// filling did. A removal frees its slot without taking it off this list:
// the list only grows, and bounds the insertions, not the live entries.
uint32_t taken[CACHE_CAPACITY];
uint32_t entries = 0;

// An empty entry: a key no block has, and as its code the dispatch
// routine's miss path, should a key ever equal it.
IndirectEntry empty_entry() { return {NO_KEY, indirect_miss}; }

// A 4 KB page of the console's memory starts at a slot of its own (the top
// bits of the page number times 2^32 / phi, which depend on every bit of
// it, so that pages differing only in high address bits spread too), and
// the words of the page follow it: the blocks of one stretch of code share
// a few lines of the table instead of one line each.
uint32_t first_slot(uint32_t key) {
    uint32_t page_start = ((key >> 12) * 0x9E3779B1u) >> (32 - SLOT_BITS);
    return (page_start + (key >> 2)) & MASK;
}

// Whether the entry at `slot`, which probing for its key began at `home`,
// would no longer be found past a free slot at `hole`: the hole lies
// cyclically in [home, slot).
bool probe_passes(uint32_t home, uint32_t hole, uint32_t slot) {
    return ((hole - home) & MASK) < ((slot - home) & MASK);
}

}  // namespace

void cache_insert(uint32_t key, uint8_t* code) {
    uint32_t i = first_slot(key);
    while (slots[i].entry && slots[i].key != key) i = (i + 1) & MASK;
    if (!slots[i].entry) taken[entries++] = i;
    slots[i] = {key, uint32_t(code - code_buffer) + 1};
}

uint8_t* cache_find(uint32_t key) {
    for (uint32_t i = first_slot(key);; i = (i + 1) & MASK) {
        if (!slots[i].entry) return nullptr;
        if (slots[i].key == key) return code_buffer + (slots[i].entry - 1);
    }
}

// Linear probing without tombstones: every later entry of the run that
// probing would now stop short of moves back into the hole.
void cache_remove(uint32_t key) {
    IndirectEntry& front = indirect_table[indirect_index(key)];
    if (front.key == key) front = empty_entry();
    uint32_t hole = first_slot(key);
    while (slots[hole].key != key || !slots[hole].entry) {
        if (!slots[hole].entry) return;
        hole = (hole + 1) & MASK;
    }
    for (uint32_t i = (hole + 1) & MASK; slots[i].entry; i = (i + 1) & MASK) {
        if (!probe_passes(first_slot(slots[i].key), hole, i)) continue;
        slots[hole] = slots[i];
        hole = i;
    }
    slots[hole] = {0, 0};
}

bool cache_full() { return entries >= CACHE_CAPACITY; }

void cache_clear() {
    for (uint32_t e = 0; e < entries; e++) slots[taken[e]] = {0, 0};
    entries = 0;
    for (IndirectEntry& entry : indirect_table) entry = empty_entry();
}

void indirect_fill(uint32_t key, const uint8_t* code) {
    indirect_table[indirect_index(key)] = {key, uint32_t(uintptr_t(code))};
}
