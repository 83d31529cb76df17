// The translation cache: key PC (r15 when the block is entered, the first
// instruction's address + 8) to the block's entry in code_buffer. An
// open-addressed table over the whole key with linear probing, never more
// than half full, so that a look-up costs a probe or two whatever the
// addresses: programs run the same code through mirrors whose addresses
// differ only in their high bits. cache_clear empties it and is the only
// way an entry goes away (the recompiler empties everything when the buffer
// fills or translated code goes stale).
#pragma once

#include <cstdint>

// Blocks the cache holds; the translator empties everything before more.
constexpr uint32_t CACHE_CAPACITY = 1u << 16;

// `code` points into code_buffer.
void cache_insert(uint32_t pc, uint8_t* code);
uint8_t* cache_find(uint32_t pc);

bool cache_full();
void cache_clear();
