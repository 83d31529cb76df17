// The translation cache: key PC (r15 when the block is entered, the first
// instruction's address + 8) to the block's entry in code_buffer. 4096
// buckets by pc & 0xFFF, each a list in insertion order. Nodes come from a
// fixed pool; cache_clear empties the buckets and the pool together, and is
// the only way an entry goes away (the recompiler empties everything at once
// when the buffer fills or translated code goes stale).
#pragma once

#include <cstdint>

struct cache_node {
    uint8_t* code;
    uint32_t pc;
    cache_node* next;
};

struct cache_bucket {
    cache_node* head;
    cache_node* tail;
    cache_node* cursor;  // the node just appended, or where the last search stopped
};

constexpr uint32_t CACHE_BUCKETS = 4096;
// The smallest block (one handler call, mov eax, ret) is 11 bytes, so the
// buffer never holds more blocks than this.
constexpr uint32_t CACHE_POOL_SIZE = 0xFFFF / 11 + 1;

extern cache_bucket block_cache[CACHE_BUCKETS];

void cache_insert(uint32_t pc, uint8_t* code);
uint8_t* cache_find(uint32_t pc);
void bucket_append(cache_bucket& bucket, uint32_t pc, uint8_t* code);
uint8_t* bucket_find(cache_bucket& bucket, uint32_t pc);

bool cache_pool_full();
void cache_clear();
