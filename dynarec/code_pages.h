// Which 1 KB pages of emulated memory hold code that has been translated,
// and the watch that notices when a program writes into one of them.
//
// Pages are counted on the arrays, not on addresses, so that every mirror of
// a page is the same page: a write through any mirror makes the translation
// stale. The watch only raises `code_stale`; dynarec_step empties the cache
// at its next call, so a running block always finishes in code that still
// exists.
#pragma once

#include <cstdint>

constexpr int CODE_PAGE_CONSTANT = -1;   // fetches always read the same (0)
constexpr int CODE_PAGE_UNWATCHED = -2;  // writable, but writes are not watched

// The page index of an instruction address, or one of the two values above.
int code_page(uint32_t address);
void mark_code_page(int page);
void clear_code_pages();

extern bool code_stale;
void watch_code_write(uint32_t address);
