// The translation cache's table.
#include "dynarec/block_cache.h"

#include "dynarec/code_buffer.h"

namespace {

constexpr uint32_t SLOT_BITS = 17;  // twice CACHE_CAPACITY
constexpr uint32_t SLOTS = 1u << SLOT_BITS;
constexpr uint32_t MASK = SLOTS - 1;

// The block's offset in code_buffer + 1, so that 0 marks a free slot.
struct Slot {
    uint32_t pc;
    uint32_t entry;
};

Slot slots[SLOTS];
// Where the entries are, so that emptying costs what filling did.
uint32_t taken[CACHE_CAPACITY];
uint32_t entries = 0;

// A 4 KB page of the console's memory starts at a slot of its own (the top
// bits of the page number times 2^32 / phi, which depend on every bit of
// it, so that pages differing only in high address bits spread too), and
// the words of the page follow it: the blocks of one stretch of code share
// a few lines of the table instead of one line each.
uint32_t first_slot(uint32_t pc) {
    uint32_t page_start = ((pc >> 12) * 0x9E3779B1u) >> (32 - SLOT_BITS);
    return (page_start + (pc >> 2)) & MASK;
}

}  // namespace

void cache_insert(uint32_t pc, uint8_t* code) {
    uint32_t i = first_slot(pc);
    while (slots[i].entry && slots[i].pc != pc) i = (i + 1) & MASK;
    if (!slots[i].entry) taken[entries++] = i;
    slots[i] = {pc, uint32_t(code - code_buffer) + 1};
}

uint8_t* cache_find(uint32_t pc) {
    for (uint32_t i = first_slot(pc);; i = (i + 1) & MASK) {
        if (!slots[i].entry) return nullptr;
        if (slots[i].pc == pc) return code_buffer + (slots[i].entry - 1);
    }
}

bool cache_full() { return entries >= CACHE_CAPACITY; }

void cache_clear() {
    for (uint32_t e = 0; e < entries; e++) slots[taken[e]] = {0, 0};
    entries = 0;
}
