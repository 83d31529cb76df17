// The memory arrays, region_base and the ARM instruction fetch.
#include <cstring>

#include "memory/memory.h"

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
uint8_t* region_base[16];

// Offsets at or past a region's limit are outside its array; vram is
// special-cased in fetch_word. A region without an array has limit 0.
uint32_t region_mask[16];
uint32_t region_limit[16];

namespace {

void set_region(int region, uint8_t* array, uint32_t mask, uint32_t limit) {
    region_base[region] = array;
    region_mask[region] = mask;
    region_limit[region] = limit;
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
    install_rom(nullptr, 0);
    for (int region = 0; region < 16; region++) set_region(region, nullptr, 0, 0);
}

void build_region_base() {
    set_region(0, bios_mem, 0xFFFFFF, BIOS_SIZE);   // 0x00000000 BIOS
    set_region(1, bios_mem, 0xFFFFFF, BIOS_SIZE);   // 0x01000000 BIOS again
    set_region(2, wram, WRAM_SIZE - 1, WRAM_SIZE);  // 0x02000000 work RAM
    set_region(3, iram, IRAM_SIZE - 1, IRAM_SIZE);  // 0x03000000 internal RAM
    set_region(4, io_regs, 0xFFFFFF, IO_SIZE);      // 0x04000000 IO registers
    set_region(5, pram, PRAM_SIZE - 1, PRAM_SIZE);  // 0x05000000 palette
    set_region(6, vram, VRAM_SIZE - 1, 0x18000);    // 0x06000000 video RAM
    set_region(7, oam, OAM_SIZE - 1, OAM_SIZE);     // 0x07000000 objects
    for (int region = 8; region <= 13; region++)    // 0x08000000 cartridge
        set_region(region, rom, 0xFFFFFF, rom ? rom_size : 0);
    set_region(14, cart_ram, 0xFFFFFF, CART_RAM_SIZE);  // 0x0E000000 cart RAM
    set_region(15, nullptr, 0, 0);                      // 0x0F000000 nothing
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
    std::memset(vram, 0, 0x18000);
    std::memset(oam, 0, sizeof oam);
}

void free_memory() { install_rom(nullptr, 0); }
