// Pages of translated code and the bus-write watch over them.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/code_pages.h"

#include <cstring>

#include "memory/memory.h"

bool code_stale = false;

namespace {

constexpr uint32_t PAGE_SHIFT = 10;  // 1 KB pages
constexpr int BIOS_PAGES = BIOS_SIZE >> PAGE_SHIFT;
constexpr int WRAM_PAGES = WRAM_SIZE >> PAGE_SHIFT;
constexpr int IRAM_PAGES = IRAM_SIZE >> PAGE_SHIFT;
constexpr int VRAM_PAGES = VRAM_SIZE >> PAGE_SHIFT;
constexpr int ROM_PAGES = 0x1000000 >> PAGE_SHIFT;  // the 16 MB an offset can reach

constexpr int BIOS_FIRST = 0;
constexpr int WRAM_FIRST = BIOS_FIRST + BIOS_PAGES;
constexpr int IRAM_FIRST = WRAM_FIRST + WRAM_PAGES;
constexpr int VRAM_FIRST = IRAM_FIRST + IRAM_PAGES;
constexpr int ROM_FIRST = VRAM_FIRST + VRAM_PAGES;
constexpr int PAGE_COUNT = ROM_FIRST + ROM_PAGES;

uint8_t page_has_code[PAGE_COUNT];

}  // namespace

// The offsets follow the mirrors of the bus and of fetch_word.
int code_page(uint32_t address) {
    switch ((address >> 24) & 15) {
        case 0x0:
        case 0x1: {
            uint32_t offset = address & 0xFFFFFF;
            return offset < BIOS_SIZE ? BIOS_FIRST + int(offset >> PAGE_SHIFT) : CODE_PAGE_CONSTANT;
        }
        case 0x2: return WRAM_FIRST + int((address & (WRAM_SIZE - 1)) >> PAGE_SHIFT);
        case 0x3: return IRAM_FIRST + int((address & (IRAM_SIZE - 1)) >> PAGE_SHIFT);
        case 0x6: return VRAM_FIRST + int(vram_offset(address) >> PAGE_SHIFT);
        case 0x8:
        case 0x9:
        case 0xA:
        case 0xB:
        case 0xC:
        case 0xD: return ROM_FIRST + int((address & 0xFFFFFF) >> PAGE_SHIFT);
        case 0xF: return CODE_PAGE_CONSTANT;
        default: return CODE_PAGE_UNWATCHED;  // IO, palette, OAM, cartridge RAM
    }
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
