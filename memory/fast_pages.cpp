// The fast page tables, derived from the memory map and the current image.
#include <algorithm>

#include "memory/memory.h"
#include "memory/memory_map.h"

uintptr_t fast_read_pages[FAST_PAGE_TABLE_SIZE];
uintptr_t fast_write_pages[FAST_PAGE_TABLE_SIZE];

namespace {

// The host address of the whole page that holds `address`, or null when
// some byte of the page is not plainly the array's (a mirror shorter than a
// page, the end of an array inside the page, nothing behind it). Derived
// from region_base, so the tables are empty while it is. Mirrors and folds
// are whole pages, so the page's first offset decides.
const uint8_t* whole_page(uint32_t address) {
    int region = region_of(address);
    if (!region_base[region] || region_mask[region] < FAST_PAGE_SIZE - 1) return nullptr;
    uint32_t offset = address & region_mask[region] & ~(FAST_PAGE_SIZE - 1);
    if (offset >= region_limit[region]) {
        if (!region_fold[region]) return nullptr;
        offset -= region_fold[region];
    }
    if (offset + FAST_PAGE_SIZE > region_limit[region]) return nullptr;
    return region_base[region] + offset;
}

uintptr_t entry_for(const uint8_t* page, uint32_t address) {
    if (!page) return 0;
    uint32_t console_page = address & CONSOLE_ADDRESS_MASK & ~(FAST_PAGE_SIZE - 1);
    return reinterpret_cast<uintptr_t>(page) - console_page;
}

// Reads of every width return the array's bytes with no side effect.
bool plain_reads(const MemoryRegion& region) { return region.reads == RegionReads::ARRAY; }

// Writes of every width store and do nothing else but the code watch, which
// the recompiler takes over through forbid_fast_writes. Writes into the
// image are rare enough to take the bus always.
bool plain_writes(const MemoryRegion& region) {
    return region.stores == ALL_WIDTHS && region.after_write == AfterWrite::NOTHING &&
           region.array != RegionArray::IMAGE;
}

}  // namespace

uintptr_t fast_read_page(uint32_t address) {
    if (!plain_reads(memory_map[region_of(address)])) return 0;
    return entry_for(whole_page(address), address);
}

uintptr_t fast_write_page(uint32_t address) {
    if (!plain_writes(memory_map[region_of(address)])) return 0;
    return entry_for(whole_page(address), address);
}

// Each page of one mirror copy is looked at once and its entry repeated
// into every copy: the bus fuzzer and every test fixture rebuild the tables
// for each console they start.
void build_fast_pages() {
    constexpr uint32_t PAGES_PER_REGION = 1u << (24 - FAST_PAGE_SHIFT);
    for (int region = 0; region < 16; region++) {
        uint32_t first = uint32_t(region) * PAGES_PER_REGION;
        std::fill_n(fast_read_pages + first, PAGES_PER_REGION, 0);
        std::fill_n(fast_write_pages + first, PAGES_PER_REGION, 0);
        bool reads = plain_reads(memory_map[region]);
        bool writes = plain_writes(memory_map[region]);
        if (!(reads || writes) || !region_base[region]) continue;
        if (region_mask[region] < FAST_PAGE_SIZE - 1) continue;  // mirrors shorter than a page
        uint32_t copy_pages = (region_mask[region] + 1) >> FAST_PAGE_SHIFT;
        uint32_t array_pages = (region_limit[region] + FAST_PAGE_SIZE - 1) >> FAST_PAGE_SHIFT;
        uint32_t shown_pages = region_fold[region] ? copy_pages : std::min(copy_pages, array_pages);
        for (uint32_t page = first; page < first + shown_pages; page++) {
            const uint8_t* host = whole_page(page << FAST_PAGE_SHIFT);
            if (!host) continue;
            for (uint32_t copy = page; copy < first + PAGES_PER_REGION; copy += copy_pages) {
                uintptr_t entry = reinterpret_cast<uintptr_t>(host) - (copy << FAST_PAGE_SHIFT);
                if (reads) fast_read_pages[copy] = entry;
                if (writes) fast_write_pages[copy] = entry;
            }
        }
    }
}

namespace {

// A host page is shown by every mirror of its offset in every region over
// the same array, and by the folded copy past the limit where there is one.
template <typename Visit>
void for_each_copy_of_page(uint32_t address, Visit visit) {
    const uint8_t* host = whole_page(address);
    if (!host) return;
    const uint8_t* array = region_base[region_of(address)];
    for (int region = 0; region < 16; region++) {
        if (region_base[region] != array) continue;
        uint32_t offset = uint32_t(host - array);
        uint32_t mirror = region_mask[region] + 1;
        uint32_t folded = offset + region_fold[region];
        bool has_fold = region_fold[region] && folded >= region_limit[region] && folded < mirror;
        for (uint32_t copy = 0; copy < NO_MIRROR; copy += mirror) {
            uint32_t base = uint32_t(region) << 24 | copy;
            visit(base | offset);
            if (has_fold) visit(base | folded);
        }
    }
}

}  // namespace

void forbid_fast_writes(uint32_t address) {
    for_each_copy_of_page(address,
                          [](uint32_t copy) { fast_write_pages[fast_page_index(copy)] = 0; });
}

void allow_fast_writes(uint32_t address) {
    for_each_copy_of_page(address, [](uint32_t copy) {
        fast_write_pages[fast_page_index(copy)] = fast_write_page(copy);
    });
}
