// Words and pages of translated code, and the bus-write watch over them.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/code_pages.h"

#include <cstring>

#include "dynarec/invalidation.h"
#include "memory/memory.h"
#include "memory/memory_map.h"

bool code_stale = false;

namespace {

constexpr uint32_t PAGE_BYTES = 1u << CODE_PAGE_SHIFT;
constexpr uint32_t WORDS_PER_PAGE = 1u << WORDS_PER_PAGE_SHIFT;
constexpr uint8_t COUNT_STUCK = 0xFF;

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
// Live blocks per word, WORDS_PER_PAGE to a page; only the words of marked
// pages are ever counted, so clearing walks the marks.
uint8_t word_counts[page_layout.count * WORDS_PER_PAGE];
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

bool word_has_code(int word) { return word_counts[word] != 0; }

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
        std::memset(word_counts + size_t(page) * WORDS_PER_PAGE, 0, WORDS_PER_PAGE);
        page_marks[page] = 0;
        page_lists[page] = 0;
    }
    code_stale = false;
    code_write_watch = nullptr;
}

void watch_code_write(uint32_t address) {
    int word = code_word(address);
    if (word >= 0 && word_counts[word] && drop_blocks_over(word)) code_stale = true;
}

#endif
