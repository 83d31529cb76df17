// How often C has met each block start it had no block for. Translating a
// block costs about as much as interpreting a few hundred of its
// instructions, so C translates only a start it keeps meeting: until then
// the interpreter runs the code (run_loop.cpp: how many meetings, and how
// far the interpreter runs).
//
// Counters are kept in a small table indexed by a hash of the block's key
// (block_cache.h); keys that share a counter only make each other
// translated sooner.
#pragma once

#include <cstdint>

// Counts one more meeting of the start `key` names; true when it has now
// been met often enough to translate the block there.
bool met_often_enough(uint32_t key, uint32_t times);

// The start's count begins again from zero: its block was translated, or
// a store dropped it.
void count_again(uint32_t key);

// Every count begins again from zero: the cache was emptied.
void count_all_again();
