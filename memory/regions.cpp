// The memory arrays, the buttons, region_base and the fetch outside the fast
// pages.
#include <algorithm>
#include <cstring>

#include "memory/memory.h"
#include "memory/memory_map.h"

uint8_t bios_mem[BIOS_SIZE];
uint8_t wram[WRAM_SIZE];
uint8_t iram[IRAM_SIZE];
uint8_t io_regs[IO_SIZE];
uint8_t pram[PRAM_SIZE];
uint8_t vram[VRAM_SIZE];
uint8_t oam[OAM_SIZE];
uint8_t cart_ram[CART_RAM_SIZE];
uint8_t* rom = nullptr;
uint32_t rom_size = 0;
uint32_t host_palette[PALETTE_ENTRIES];
uint16_t key_state = 0xFFFF;

uint8_t* region_base[16];
uint32_t region_mask[16];
uint32_t region_limit[16];
uint32_t region_fold[16];

namespace {

void empty_region_base() {
    for (int region = 0; region < 16; region++) {
        region_base[region] = nullptr;
        region_mask[region] = region_limit[region] = region_fold[region] = 0;
    }
    std::fill_n(fast_read_pages, FAST_PAGE_COUNT, 0);
    std::fill_n(fast_write_pages, FAST_PAGE_COUNT, 0);
}

}  // namespace

// The arrays live in static storage, so "allocating" them is clearing them:
// nothing can fail here. `rom` stays empty until the first load.
void alloc_memory() {
    std::memset(bios_mem, 0, sizeof bios_mem);
    std::memset(wram, 0, sizeof wram);
    std::memset(iram, 0, sizeof iram);
    std::memset(io_regs, 0, sizeof io_regs);
    std::memset(pram, 0, sizeof pram);
    std::memset(vram, 0, sizeof vram);
    std::memset(oam, 0, sizeof oam);
    std::memset(cart_ram, 0, sizeof cart_ram);
    std::memset(host_palette, 0, sizeof host_palette);
    key_state = 0xFFFF;
    empty_region_base();  // first, so that releasing the image rebuilds nothing
    install_rom(nullptr, 0);
    memory_reset();
}

// A region without an array (or the image before one is loaded) gets limit
// 0, so every fetch there reads 0.
void build_region_base() {
    for (int region = 0; region < 16; region++) {
        const MemoryRegion& row = memory_map[region];
        uint8_t* array = array_of(row);
        region_base[region] = array;
        region_mask[region] = row.mirror - 1;
        region_limit[region] = array ? shown_size(row) : 0;
        region_fold[region] = array ? row.fold : 0;
    }
    build_fast_pages();
}

void install_rom(uint8_t* image, uint32_t size) {
    delete[] rom;
    rom = image;
    rom_size = image ? size : 0;
    if (region_base[0]) build_region_base();
}

void clear_video_memory() {
    std::memset(pram, 0, sizeof pram);
    std::memset(host_palette, 0, sizeof host_palette);
    std::memset(vram, 0, memory_map[0x6].size);  // the hidden top 32 KB is never shown
    std::memset(oam, 0, sizeof oam);
}

void memory_reset() {
    clear_video_memory();
    dma3_source = dma3_dest = 0;
    dma3_count = dma3_control = 0;
}

void free_memory() { install_rom(nullptr, 0); }

uint32_t fetch_word_outside_fast_pages(uint32_t address) {
    int region = region_of(address);
    uint32_t offset = address & region_mask[region] & ~3u;
    if (offset >= region_limit[region]) {
        if (!region_fold[region]) return 0;
        offset -= region_fold[region];
    }
    return load_le32(region_base[region] + offset);
}
