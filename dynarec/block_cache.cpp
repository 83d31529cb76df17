// The translation cache's table.
#include "dynarec/block_cache.h"

#include <cstring>

namespace {

constexpr uint32_t SLOT_BITS = 17;  // twice CACHE_CAPACITY
constexpr uint32_t SLOTS = 1u << SLOT_BITS;

// A slot is taken when its generation is the cache's: emptying the cache
// is one increment, not a pass over the table.
struct Slot {
    uint32_t pc;
    uint32_t generation;
    uint8_t* code;
};

Slot slots[SLOTS];
uint32_t generation = 1;
uint32_t entries = 0;

// Fibonacci hashing: the top bits of pc x 2^32 / phi, which spreads
// addresses that differ in any bits, low or high, over the whole table.
uint32_t first_slot(uint32_t pc) { return (pc * 0x9E3779B1u) >> (32 - SLOT_BITS); }

}  // namespace

void cache_insert(uint32_t pc, uint8_t* code) {
    uint32_t i = first_slot(pc);
    while (slots[i].generation == generation && slots[i].pc != pc) i = (i + 1) & (SLOTS - 1);
    if (slots[i].generation != generation) entries++;
    slots[i] = {pc, generation, code};
}

uint8_t* cache_find(uint32_t pc) {
    for (uint32_t i = first_slot(pc);; i = (i + 1) & (SLOTS - 1)) {
        if (slots[i].generation != generation) return nullptr;
        if (slots[i].pc == pc) return slots[i].code;
    }
}

bool cache_full() { return entries >= CACHE_CAPACITY; }

void cache_clear() {
    entries = 0;
    if (++generation == 0) {  // after 2^32 emptyings: old tags would match again
        std::memset(slots, 0, sizeof slots);
        generation = 1;
    }
}
