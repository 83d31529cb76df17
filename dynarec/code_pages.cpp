// Pages of translated code and the bus-write watch over them.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/code_pages.h"

#include <cstring>

#include "memory/memory.h"
#include "memory/memory_map.h"

bool code_stale = false;

namespace {

constexpr uint32_t PAGE_SHIFT = 10;  // 1 KB pages

// Where each region's pages start in page_has_code: every array that can
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
        layout.count += int((row.size + (1u << PAGE_SHIFT) - 1) >> PAGE_SHIFT);
    }
    return layout;
}

constexpr PageLayout page_layout = layout_pages();

uint8_t page_has_code[page_layout.count];

}  // namespace

// Called on every watched store while code is translated: the offset comes
// from region_base's masks, which the map derives.
int code_page(uint32_t address) {
    int region = region_of(address);
    int first = page_layout.first[region];
    if (first < 0) return first;
    uint32_t offset = address & region_mask[region];
    if (offset >= region_limit[region]) {
        if (!region_fold[region]) return CODE_PAGE_CONSTANT;
        offset -= region_fold[region];
    }
    return first + int(offset >> PAGE_SHIFT);
}

// The bus calls the watch only while some page holds translated code, so
// that the interpreter's stores cost nothing when nothing is translated.
void mark_code_page(int page) {
    if (page < 0) return;
    page_has_code[page] = 1;
    code_write_watch = watch_code_write;
}

void clear_code_pages() {
    std::memset(page_has_code, 0, sizeof page_has_code);
    code_stale = false;
    code_write_watch = nullptr;
}

void watch_code_write(uint32_t address) {
    int page = code_page(address);
    if (page >= 0 && page_has_code[page]) code_stale = true;
}

#endif
