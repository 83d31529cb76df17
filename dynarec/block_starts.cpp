// The counters of block starts met without a block.
#include "dynarec/block_starts.h"

#include <cstring>

namespace {

constexpr uint32_t COUNTER_BITS = 14;
uint16_t counts[1u << COUNTER_BITS];

// Fibonacci hashing: neighbouring keys (blocks a few words apart) land on
// distant counters.
uint32_t counter_of(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - COUNTER_BITS); }

}  // namespace

bool met_often_enough(uint32_t key, uint32_t times) {
    uint16_t& count = counts[counter_of(key)];
    if (count < times) count++;
    return count >= times;
}

void count_again(uint32_t key) { counts[counter_of(key)] = 0; }

void count_all_again() { std::memset(counts, 0, sizeof counts); }
