// The translation cache's buckets and its node pool.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/block_cache.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

cache_bucket block_cache[CACHE_BUCKETS];

namespace {

cache_node node_pool[CACHE_POOL_SIZE];
uint32_t nodes_used = 0;

// translate_block empties the cache before the pool can run dry, so running
// out here is a fault in the recompiler, not in the program it runs.
cache_node* allocate_node() {
    if (nodes_used == CACHE_POOL_SIZE) {
        std::fprintf(stderr, "quorrant: translation cache node pool exhausted\n");
        std::abort();
    }
    cache_node* node = &node_pool[nodes_used++];
    *node = {nullptr, 0, nullptr};
    return node;
}

}  // namespace

void cache_insert(uint32_t pc, uint8_t* code) { bucket_append(block_cache[pc & 0xFFF], pc, code); }

uint8_t* cache_find(uint32_t pc) { return bucket_find(block_cache[pc & 0xFFF], pc); }

void bucket_append(cache_bucket& bucket, uint32_t pc, uint8_t* code) {
    cache_node* node = allocate_node();
    bucket.cursor = node;
    if (!bucket.head)
        bucket.head = node;
    else
        bucket.tail->next = node;
    bucket.tail = node;
    node->next = nullptr;
    node->code = code;
    node->pc = pc;
}

uint8_t* bucket_find(cache_bucket& bucket, uint32_t pc) {
    for (bucket.cursor = bucket.head; bucket.cursor; bucket.cursor = bucket.cursor->next)
        if (bucket.cursor->pc == pc) return bucket.cursor->code;
    return nullptr;
}

bool cache_pool_full() { return nodes_used == CACHE_POOL_SIZE; }

void cache_clear() {
    std::memset(block_cache, 0, sizeof block_cache);
    nodes_used = 0;
}

#endif
