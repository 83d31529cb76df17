// The blocks translated since the cache was last emptied: where each one's
// instructions lie, and the exits of other blocks linked to it, so that a
// store over translated code drops exactly the blocks whose instructions it
// overwrote and leaves no way into them.
//
// A dropped block leaves the cache and the indirect table, and every exit
// linked to it is pointed back at its own unlinked tail, through which the
// successor is looked up again (and translated anew from C). Its code stays
// in the buffer until the next emptying: a running block may still be in
// it, and leaves at its next stale-code test.
#pragma once

#include <cstdint>

// Block ids run from 0 up to this, then the recompiler empties everything.
constexpr uint32_t BLOCK_CAPACITY = 1u << 16;

// Records a new block: `pc` its cache key, its instructions the `bytes`
// from `address`, whose words are counted in the code words and whose pages
// are marked. Returns the block's id.
uint32_t register_block(uint32_t pc, uint32_t address, uint32_t bytes);
bool blocks_full();

// Records that the exit whose rel32 is at `site` now jumps to `block`;
// false when no record is free, and the exit must stay unlinked.
bool record_link(uint32_t block, uint32_t site);

// Drops every live block with an instruction in code word `word`; true when
// there was one.
bool drop_blocks_over(int word);

// Forgets every block and link; the cache and code pages are emptied beside.
void forget_blocks();
