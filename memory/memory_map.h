// The console's memory map: one row per region (address bits 24-27, bits
// 28-31 ignored), the single description from which the bus handlers,
// region_base and its masks, the instruction fetches, the recompiler's code
// pages and the fast page tables are all derived.
//
// A region shows its array through a mirror: the offset is the address
// modulo `mirror` (a power of two; NO_MIRROR for the whole 16 MB), and an
// access of width w first clears the address's low log2(w) bits. Offsets
// from `size` up to the mirror show nothing (reads 0, writes ignored),
// except where `fold` is set: there they show offset - fold (video RAM's
// 0x18000-0x1FFFF show 0x10000-0x17FFF). The cartridge image shows
// `rom_size` bytes, the part of it below 16 MB.
#pragma once

#include <cstdint>

#include "memory/memory.h"

// The host array behind a region.
enum class RegionArray : uint8_t { BIOS, WRAM, IRAM, IO, PRAM, VRAM, OAM, IMAGE, CART_RAM, NONE };

// What the region's reads return.
enum class RegionReads : uint8_t {
    ARRAY,    // the array at every width
    BUTTONS,  // the array, but a 16-bit read of offset 0x130 (low 12 bits) is key_state
    OPEN,     // no array: 0x00, 0xFF and 0xFF for 8, 16 and 32 bits
};

// The widths of write that store (and then act); other widths do nothing.
enum RegionWidths : uint8_t {
    NO_WIDTHS = 0,
    WIDTH_8 = 1,
    WIDTH_16 = 2,
    WIDTH_32 = 4,
    ALL_WIDTHS = 7,
};

// What follows every write of a storing width, inside the array or not.
enum class AfterWrite : uint8_t {
    NOTHING,
    IO_HOOK,  // io_write_hook, with the aligned address: DMA3's registers
    PALETTE,  // the host_palette entries the write touched follow pram
};

// Whether code there may be translated by the recompiler. Writes into such
// regions call code_write_watch; writes elsewhere are not watched, so code
// there always runs on the interpreter.
enum class RegionCode : uint8_t { TRANSLATED, INTERPRETED };

struct MemoryRegion {
    RegionArray array;
    uint32_t size;    // bytes shown (the image: at most; rom_size of them)
    uint32_t mirror;  // offsets repeat every `mirror` bytes
    uint32_t fold;    // offsets from size to mirror - 1 show offset - fold; 0: nothing
    RegionReads reads;
    uint8_t stores;  // RegionWidths
    AfterWrite after_write;
    RegionCode code;
};

constexpr uint32_t NO_MIRROR = 0x1000000;
constexpr uint32_t IMAGE_REACH = 0x1000000;  // bytes of the image an offset can reach

namespace memory_map_rows {
using enum RegionArray;
using enum RegionReads;
using enum AfterWrite;
using enum RegionCode;

// clang-format off
inline constexpr MemoryRegion rows[16] = {
    // array   size           mirror      fold    reads    stores      after write  code
    {BIOS,     BIOS_SIZE,     NO_MIRROR,  0,      ARRAY,   WIDTH_32,   NOTHING,     TRANSLATED},   // 0x00000000 BIOS
    {BIOS,     BIOS_SIZE,     NO_MIRROR,  0,      ARRAY,   WIDTH_32,   NOTHING,     TRANSLATED},   // 0x01000000 BIOS again
    {WRAM,     WRAM_SIZE,     WRAM_SIZE,  0,      ARRAY,   ALL_WIDTHS, NOTHING,     TRANSLATED},   // 0x02000000 work RAM
    {IRAM,     IRAM_SIZE,     IRAM_SIZE,  0,      ARRAY,   ALL_WIDTHS, NOTHING,     TRANSLATED},   // 0x03000000 internal RAM
    {IO,       IO_SIZE,       NO_MIRROR,  0,      BUTTONS, ALL_WIDTHS, IO_HOOK,     INTERPRETED},  // 0x04000000 IO registers
    {PRAM,     PRAM_SIZE,     PRAM_SIZE,  0,      ARRAY,   ALL_WIDTHS, PALETTE,     INTERPRETED},  // 0x05000000 palette
    {VRAM,     0x18000,       VRAM_SIZE,  0x8000, ARRAY,   ALL_WIDTHS, NOTHING,     TRANSLATED},   // 0x06000000 video RAM
    {OAM,      OAM_SIZE,      OAM_SIZE,   0,      ARRAY,   ALL_WIDTHS, NOTHING,     INTERPRETED},  // 0x07000000 object attributes
    {IMAGE,    IMAGE_REACH,   NO_MIRROR,  0,      ARRAY,   ALL_WIDTHS, NOTHING,     TRANSLATED},   // 0x08000000 cartridge image
    {IMAGE,    IMAGE_REACH,   NO_MIRROR,  0,      ARRAY,   ALL_WIDTHS, NOTHING,     TRANSLATED},   // 0x09000000 cartridge image
    {IMAGE,    IMAGE_REACH,   NO_MIRROR,  0,      ARRAY,   ALL_WIDTHS, NOTHING,     TRANSLATED},   // 0x0A000000 cartridge image
    {IMAGE,    IMAGE_REACH,   NO_MIRROR,  0,      ARRAY,   ALL_WIDTHS, NOTHING,     TRANSLATED},   // 0x0B000000 cartridge image
    {IMAGE,    IMAGE_REACH,   NO_MIRROR,  0,      ARRAY,   ALL_WIDTHS, NOTHING,     TRANSLATED},   // 0x0C000000 cartridge image
    {IMAGE,    IMAGE_REACH,   NO_MIRROR,  0,      ARRAY,   ALL_WIDTHS, NOTHING,     TRANSLATED},   // 0x0D000000 cartridge image
    {CART_RAM, CART_RAM_SIZE, NO_MIRROR,  0,      ARRAY,   ALL_WIDTHS, NOTHING,     INTERPRETED},  // 0x0E000000 cartridge RAM
    {NONE,     0,             NO_MIRROR,  0,      OPEN,    NO_WIDTHS,  NOTHING,     TRANSLATED},   // 0x0F000000 nothing
};
// clang-format on

}  // namespace memory_map_rows

inline constexpr const MemoryRegion (&memory_map)[16] = memory_map_rows::rows;

constexpr int region_of(uint32_t address) { return int((address >> 24) & 15); }

// The array behind a fixed region, or null for the image and for nothing.
constexpr uint8_t* fixed_array(RegionArray array) {
    switch (array) {
        case RegionArray::BIOS: return bios_mem;
        case RegionArray::WRAM: return wram;
        case RegionArray::IRAM: return iram;
        case RegionArray::IO: return io_regs;
        case RegionArray::PRAM: return pram;
        case RegionArray::VRAM: return vram;
        case RegionArray::OAM: return oam;
        case RegionArray::CART_RAM: return cart_ram;
        default: return nullptr;
    }
}

// The host bytes behind a region now: `rom` for the image.
inline uint8_t* array_of(const MemoryRegion& region) {
    return region.array == RegionArray::IMAGE ? rom : fixed_array(region.array);
}
inline uint32_t shown_size(const MemoryRegion& region) {
    if (region.array != RegionArray::IMAGE) return region.size;
    return rom_size < IMAGE_REACH ? rom_size : IMAGE_REACH;
}

// The offset into the region's array that an (already width-aligned)
// address shows; at or past shown_size, nothing is there.
constexpr uint32_t shown_offset(const MemoryRegion& region, uint32_t address) {
    uint32_t offset = address & (region.mirror - 1);
    if (region.fold && offset >= region.size) offset -= region.fold;
    return offset;
}

// Every offset a mirror can produce lands where the rules above say.
constexpr bool region_is_consistent(const MemoryRegion& r) {
    bool power_of_two = r.mirror != 0 && (r.mirror & (r.mirror - 1)) == 0;
    bool folds_inside = r.fold == 0 || (r.fold <= r.size && r.mirror - r.fold <= r.size);
    return power_of_two && r.mirror <= NO_MIRROR && r.size <= r.mirror && folds_inside;
}
constexpr bool map_is_consistent() {
    for (const MemoryRegion& region : memory_map)
        if (!region_is_consistent(region)) return false;
    return true;
}
static_assert(map_is_consistent());
