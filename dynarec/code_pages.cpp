// Words and pages of translated code, and the bus-write watch over them.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/code_pages.h"

#include <cstring>
#include <initializer_list>

#include "dynarec/invalidation.h"
#include "memory/memory.h"
#include "memory/memory_map.h"

bool code_stale = false;

namespace {

constexpr uint32_t PAGE_BYTES = 1u << CODE_PAGE_SHIFT;
constexpr uint32_t WORDS_PER_PAGE = 1u << WORDS_PER_PAGE_SHIFT;
constexpr uint8_t COUNT_STUCK = 0xFF;

// A word whose stores have dropped translated code this many times is run
// by the interpreter: translating it again would cost more than running it
// (a routine rewritten before each call, code that rewrites its next
// instruction). It is translated again once the interpreter has run it
// CALM_RUNS times with no store over it (code copied in once, then run).
constexpr uint8_t REWRITES_TO_INTERPRET = 4;
constexpr uint8_t CALM_RUNS = 64;

// Where each region's pages start in page_marks: every array that can
// hold translated code gets a run of pages as long as the most it can show,
// and regions over the same array share that run, so every mirror of a page
// is the same page. Regions without such an array hold what code_page
// answers for all of them instead.
struct PageLayout {
    int first[16];
    int count;
};

constexpr PageLayout layout_pages() {
    PageLayout layout{};
    for (int region = 0; region < 16; region++) {
        const MemoryRegion& row = memory_map[region];
        layout.first[region] = -1;
        if (row.code == RegionCode::INTERPRETED) {
            layout.first[region] = CODE_PAGE_UNWATCHED;
            continue;
        }
        if (row.array == RegionArray::NONE) {
            layout.first[region] = CODE_PAGE_CONSTANT;
            continue;
        }
        for (int earlier = 0; earlier < region; earlier++)
            if (memory_map[earlier].array == row.array)
                layout.first[region] = layout.first[earlier];
        if (layout.first[region] >= 0) continue;
        layout.first[region] = layout.count;
        layout.count += int((row.size + PAGE_BYTES - 1) >> CODE_PAGE_SHIFT);
    }
    return layout;
}

constexpr PageLayout page_layout = layout_pages();

uint8_t page_marks[page_layout.count];
// Live blocks per word, WORDS_PER_PAGE to a page, plus one while the word
// is interpreted, so that the watch's one look sees stores over it too.
// Only the words of marked pages are ever counted, so clearing walks the
// marks; the same goes for the two arrays after it.
uint8_t word_counts[page_layout.count * WORDS_PER_PAGE];
// Stores that dropped code in the word; at REWRITES_TO_INTERPRET, the word
// is interpreted.
uint8_t word_rewrites[page_layout.count * WORDS_PER_PAGE];
// Runs of an interpreted word since the last store over it.
uint8_t word_calm[page_layout.count * WORDS_PER_PAGE];
uint32_t page_lists[page_layout.count];

}  // namespace

// Called on every watched store while code is translated: the offset comes
// from region_base's masks, which the map derives.
int code_word(uint32_t address) {
    int region = region_of(address);
    int first = page_layout.first[region];
    if (first < 0) return first;
    uint32_t offset = address & region_mask[region];
    if (offset >= region_limit[region]) {
        if (!region_fold[region]) return CODE_PAGE_CONSTANT;
        offset -= region_fold[region];
    }
    return int(uint32_t(first) * WORDS_PER_PAGE + (offset >> 2));
}

int code_page(uint32_t address) {
    int word = code_word(address);
    return word < 0 ? word : word >> WORDS_PER_PAGE_SHIFT;
}

void count_code_word(int word) {
    if (word_counts[word] != COUNT_STUCK) word_counts[word]++;
}

void uncount_code_word(int word) {
    if (word_counts[word] != COUNT_STUCK) word_counts[word]--;
}

bool word_interpreted(int word) { return word_rewrites[word] == REWRITES_TO_INTERPRET; }

void note_interpreted_run(int word) {
    if (++word_calm[word] < CALM_RUNS) return;
    word_rewrites[word] = 0;
    uncount_code_word(word);
}

uint32_t& page_blocks(int page) { return page_lists[page]; }

// The bus calls the watch only while some page holds translated code, so
// that the interpreter's stores cost nothing when nothing is translated.
void mark_code_page(int page) {
    if (page < 0) return;
    page_marks[page] = 1;
    code_write_watch = watch_code_write;
}

void clear_code_pages() {
    for (int page = 0; page < page_layout.count; page++) {
        if (!page_marks[page]) continue;
        for (uint8_t* words : {word_counts, word_rewrites, word_calm})
            std::memset(words + size_t(page) * WORDS_PER_PAGE, 0, WORDS_PER_PAGE);
        page_marks[page] = 0;
        page_lists[page] = 0;
    }
    code_stale = false;
    code_write_watch = nullptr;
}

namespace {

// No block includes an interpreted word: the store that made it one dropped
// them all, and translation stops before it.
void code_written(int word) {
    if (word_interpreted(word)) {
        word_calm[word] = 0;
        return;
    }
    if (!drop_blocks_over(word)) return;
    code_stale = true;
    if (++word_rewrites[word] < REWRITES_TO_INTERPRET) return;
    count_code_word(word);
    word_calm[word] = 0;
}

}  // namespace

void watch_code_write(uint32_t address) {
    int word = code_word(address);
    if (word >= 0 && word_counts[word]) code_written(word);
}

#endif
