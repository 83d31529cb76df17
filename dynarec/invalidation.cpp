// Blocks by the words they were translated from, links by the blocks they
// lead into, and the dropping of both.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/invalidation.h"

#include "dynarec/backend.h"
#include "dynarec/block_cache.h"
#include "dynarec/block_starts.h"
#include "dynarec/code_buffer.h"
#include "dynarec/code_pages.h"

namespace {

// A block's instructions span at most two 1 KB pages (a block is far
// shorter than a page, and mirrors and folds are whole pages), so each
// block has two nodes for the lists of the pages it lies in: node 2 * id
// and 2 * id + 1.
constexpr uint32_t NODES_PER_BLOCK = 2;
static_assert(4 * BLOCK_MAX_INSNS < (1u << CODE_PAGE_SHIFT));

struct Block {
    uint32_t pc;       // the cache key
    uint32_t address;  // of the first instruction
    uint32_t bytes;    // of its instructions
    bool live;
    uint32_t links;  // the first link record into it + 1, or 0
};

// Each exit is linked to one block at a time, and a block has two exits
// to a known address (its branch and its fall-through), so there are never
// more links than this.
constexpr uint32_t LINK_CAPACITY = 2 * BLOCK_CAPACITY;

struct Link {
    uint32_t site;  // the exit's rel32
    uint32_t next;  // the next record into the same block + 1, or 0
};

Block blocks[BLOCK_CAPACITY];
uint32_t block_count = 0;
// The next node + 1 in the same page's list, or 0.
uint32_t node_next[NODES_PER_BLOCK * BLOCK_CAPACITY];

Link links[LINK_CAPACITY];
uint32_t links_used = 0;  // records ever handed out since the last emptying
uint32_t free_links = 0;  // the first record given back + 1, or 0

// The addresses of the words the block's instructions lie in.
uint32_t first_word(const Block& block) { return block.address & ~3u; }
uint32_t end_word(const Block& block) { return block.address + block.bytes; }

bool covers(const Block& block, int word) {
    for (uint32_t a = first_word(block); a < end_word(block); a += 4)
        if (code_word(a) == word) return true;
    return false;
}

void add_to_page(uint32_t node, int page) {
    node_next[node] = page_blocks(page);
    page_blocks(page) = node + 1;
}

// Every exit linked into the block goes back to its unlinked tail, and the
// records go back to the free list.
void unlink_all(Block& block) {
    if (!block.links) return;
    code_buffer_writable();
    uint32_t record = block.links;
    while (record) {
        Link& link = links[record - 1];
        unlink_exit(link.site);
        uint32_t next = link.next;
        link.next = free_links;
        free_links = record;
        record = next;
    }
    code_buffer_executable();
    block.links = 0;
}

void drop(Block& block) {
    block.live = false;
    for (uint32_t a = first_word(block); a < end_word(block); a += 4) {
        int word = code_word(a);
        if (word >= 0) uncount_code_word(word);
    }
    cache_remove(block.pc);
    count_again(block.pc);
    unlink_all(block);
}

}  // namespace

uint32_t register_block(uint32_t pc, uint32_t address, uint32_t bytes) {
    uint32_t id = block_count++;
    blocks[id] = {pc, address, bytes, true, 0};
    int pages[NODES_PER_BLOCK];
    uint32_t page_count = 0;
    for (uint32_t a = first_word(blocks[id]); a < end_word(blocks[id]); a += 4) {
        int word = code_word(a);
        if (word < 0) continue;
        count_code_word(word);
        int page = word >> WORDS_PER_PAGE_SHIFT;
        if (page_count && pages[page_count - 1] == page) continue;
        if (page_count == NODES_PER_BLOCK) continue;  // never: see NODES_PER_BLOCK
        pages[page_count++] = page;
        mark_code_page(page);
        add_to_page(NODES_PER_BLOCK * id + page_count - 1, page);
    }
    return id;
}

bool blocks_full() { return block_count >= BLOCK_CAPACITY; }

bool record_link(uint32_t block, uint32_t site) {
    uint32_t record;
    if (free_links) {
        record = free_links;
        free_links = links[record - 1].next;
    } else if (links_used < LINK_CAPACITY) {
        record = ++links_used;
    } else {
        return false;
    }
    links[record - 1] = {site, blocks[block].links};
    blocks[block].links = record;
    return true;
}

// Walks the list of the word's page, taking out the nodes of blocks dropped
// before (they stay in the list of their other page until now) and of those
// it drops.
bool drop_blocks_over(int word) {
    bool dropped = false;
    uint32_t* next = &page_blocks(word >> WORDS_PER_PAGE_SHIFT);
    while (*next) {
        uint32_t node = *next - 1;
        Block& block = blocks[node / NODES_PER_BLOCK];
        if (block.live && covers(block, word)) {
            drop(block);
            dropped = true;
        }
        if (block.live)
            next = &node_next[node];
        else
            *next = node_next[node];
    }
    return dropped;
}

void forget_blocks() {
    block_count = 0;
    links_used = 0;
    free_links = 0;
}

#endif
