// Which words and 1 KB pages of emulated memory hold translated code, and
// the watch that notices when a program writes over it.
//
// Words and pages are counted on the arrays, not on addresses, so that every
// mirror of a word is the same word: a write through any mirror reaches the
// blocks translated from it. Each word counts the live blocks whose
// instructions include it, so a store beside translated code (data sharing a
// page with code) costs the watch one look at its word; a store over counted
// words drops exactly the blocks it overwrote (invalidation.h) and raises
// `code_stale`, so that translated code leaves after the store. A word
// whose stores keep dropping code is left to the interpreter for a while.
#pragma once

#include <cstdint>

constexpr int CODE_PAGE_CONSTANT = -1;   // fetches always read the same (0)
constexpr int CODE_PAGE_UNWATCHED = -2;  // writable, but writes are not watched

constexpr int CODE_PAGE_SHIFT = 10;                        // 1 KB pages
constexpr int WORDS_PER_PAGE_SHIFT = CODE_PAGE_SHIFT - 2;  // 256 words a page

// The word index (or page index) of an instruction address, or one of the
// two values above; a word's page is its index >> WORDS_PER_PAGE_SHIFT.
int code_word(uint32_t address);
int code_page(uint32_t address);

// A live block's instruction word, counted in and out. The count saturates:
// a word more blocks cover than it can count stays covered until the pages
// are cleared, which costs a look at its page's blocks on each store.
void count_code_word(int word);
void uncount_code_word(int word);

// Whether the word is run by the interpreter, not translated: stores over
// it have dropped code again and again. Each run counts towards its being
// translated again.
bool word_interpreted(int word);
void note_interpreted_run(int word);

// The head of the page's list of blocks (invalidation.cpp links them):
// 0 for none, else the first node + 1.
uint32_t& page_blocks(int page);

// Marks the page as holding translated code; the watch runs from then on.
void mark_code_page(int page);
// Forgets every mark, count and list: the cache is empty.
void clear_code_pages();

// Set by the watch when a store dropped translated code; translated code
// leaves after the store, and C clears it before entering translated code
// again.
extern bool code_stale;
void watch_code_write(uint32_t address);
