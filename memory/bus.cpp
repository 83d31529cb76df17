// The six bus operations: each picks its handler by address bits 24-27 from
// `bus_handlers`, whose rows follow the console's memory map.
#include <cstring>

#include "memory/memory.h"
#include "shell/keys.h"

void (*code_write_watch)(uint32_t address) = nullptr;

namespace {

using Read = uint32_t (*)(uint32_t address);
using Write = void (*)(uint32_t address, uint32_t value);

struct BusRegion {
    Read read8, read16, read32;
    Write write8, write16, write32;
};

// Little-endian accessors; the host is little-endian, and the offsets they
// get are aligned to the access width and inside the array.
uint32_t load8(const uint8_t* p) { return *p; }
uint32_t load16(const uint8_t* p) { return load_le16(p); }
uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void store8(uint8_t* p, uint32_t v) { *p = uint8_t(v); }
void store16(uint8_t* p, uint32_t v) {
    uint16_t h = uint16_t(v);
    std::memcpy(p, &h, 2);
}
void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// --- Arrays that mirror every SIZE bytes (wram, iram, pram, oam) ---------
template <uint8_t* ARRAY, uint32_t SIZE>
uint32_t mirrored_read8(uint32_t a) { return load8(ARRAY + (a & (SIZE - 1))); }
template <uint8_t* ARRAY, uint32_t SIZE>
uint32_t mirrored_read16(uint32_t a) { return load16(ARRAY + (a & (SIZE - 2))); }
template <uint8_t* ARRAY, uint32_t SIZE>
uint32_t mirrored_read32(uint32_t a) { return load32(ARRAY + (a & (SIZE - 4))); }
template <uint8_t* ARRAY, uint32_t SIZE>
void mirrored_write8(uint32_t a, uint32_t v) { store8(ARRAY + (a & (SIZE - 1)), v); }
template <uint8_t* ARRAY, uint32_t SIZE>
void mirrored_write16(uint32_t a, uint32_t v) { store16(ARRAY + (a & (SIZE - 2)), v); }
template <uint8_t* ARRAY, uint32_t SIZE>
void mirrored_write32(uint32_t a, uint32_t v) { store32(ARRAY + (a & (SIZE - 4)), v); }

// Work RAM and internal RAM can hold code the recompiler has translated.
template <uint8_t* ARRAY, uint32_t SIZE>
void code_ram_write8(uint32_t a, uint32_t v) {
    mirrored_write8<ARRAY, SIZE>(a, v);
    if (code_write_watch) code_write_watch(a);
}
template <uint8_t* ARRAY, uint32_t SIZE>
void code_ram_write16(uint32_t a, uint32_t v) {
    mirrored_write16<ARRAY, SIZE>(a, v);
    if (code_write_watch) code_write_watch(a);
}
template <uint8_t* ARRAY, uint32_t SIZE>
void code_ram_write32(uint32_t a, uint32_t v) {
    mirrored_write32<ARRAY, SIZE>(a, v);
    if (code_write_watch) code_write_watch(a);
}

// --- Arrays that end: offsets past LIMIT read 0 and ignore writes ---------
template <uint8_t* ARRAY, uint32_t LIMIT>
uint32_t bounded_read8(uint32_t a) {
    uint32_t o = a & 0xFFFFFF;
    return o < LIMIT ? load8(ARRAY + o) : 0;
}
template <uint8_t* ARRAY, uint32_t LIMIT>
uint32_t bounded_read16(uint32_t a) {
    uint32_t o = a & 0xFFFFFE;
    return o < LIMIT ? load16(ARRAY + o) : 0;
}
template <uint8_t* ARRAY, uint32_t LIMIT>
uint32_t bounded_read32(uint32_t a) {
    uint32_t o = a & 0xFFFFFC;
    return o < LIMIT ? load32(ARRAY + o) : 0;
}
template <uint8_t* ARRAY, uint32_t LIMIT>
void bounded_write8(uint32_t a, uint32_t v) {
    uint32_t o = a & 0xFFFFFF;
    if (o < LIMIT) store8(ARRAY + o, v);
}
template <uint8_t* ARRAY, uint32_t LIMIT>
void bounded_write16(uint32_t a, uint32_t v) {
    uint32_t o = a & 0xFFFFFE;
    if (o < LIMIT) store16(ARRAY + o, v);
}
template <uint8_t* ARRAY, uint32_t LIMIT>
void bounded_write32(uint32_t a, uint32_t v) {
    uint32_t o = a & 0xFFFFFC;
    if (o < LIMIT) store32(ARRAY + o, v);
}

// --- The BIOS regions (0 and 1): 8- and 16-bit writes have no effect ------
void bios_write32(uint32_t a, uint32_t v) {
    bounded_write32<bios_mem, BIOS_SIZE>(a, v);
    if (code_write_watch) code_write_watch(a);  // the BIOS region holds code too
}

// --- IO registers: the button register and the write hook -----------------
// A 16-bit read of IO offset 0x130 (in any 4 KB mirror of the low 12 bits)
// answers the buttons; every other width and offset reads the array.
uint32_t io_read16_with_keys(uint32_t a) {
    if ((a & 0xFFE) == KEY_INPUT) return key_state;
    return bounded_read16<io_regs, IO_SIZE>(a);
}
void io_store8(uint32_t a, uint32_t v) {
    bounded_write8<io_regs, IO_SIZE>(a, v);
    io_write_hook(a, v & 0xFF);
}
void io_store16(uint32_t a, uint32_t v) {
    bounded_write16<io_regs, IO_SIZE>(a, v);
    io_write_hook(a & ~1u, v & 0xFFFF);
}
void io_store32(uint32_t a, uint32_t v) {
    bounded_write32<io_regs, IO_SIZE>(a, v);
    io_write_hook(a & ~3u, v);
}

// --- Palette: every write keeps host_palette in step with pram ------------
void refresh_palette_entry(uint32_t entry) {
    host_palette[entry] = to_host_colour(load16(pram + 2 * entry));
}
void pram_write8(uint32_t a, uint32_t v) {
    mirrored_write8<pram, PRAM_SIZE>(a, v);
    refresh_palette_entry((a & (PRAM_SIZE - 1)) >> 1);
}
void pram_write16(uint32_t a, uint32_t v) {
    mirrored_write16<pram, PRAM_SIZE>(a, v);
    refresh_palette_entry((a & (PRAM_SIZE - 2)) >> 1);
}
void pram_write32(uint32_t a, uint32_t v) {
    mirrored_write32<pram, PRAM_SIZE>(a, v);
    uint32_t entry = (a & (PRAM_SIZE - 4)) >> 1;
    refresh_palette_entry(entry);
    refresh_palette_entry(entry + 1);
}

// --- Video RAM: 128 KB mirrors, 0x18000-0x1FFFF show 0x10000-0x17FFF ------
uint32_t vram_read8(uint32_t a) { return load8(vram + vram_offset(a)); }
uint32_t vram_read16(uint32_t a) { return load16(vram + vram_offset(a & ~1u)); }
uint32_t vram_read32(uint32_t a) { return load32(vram + vram_offset(a & ~3u)); }
// Video RAM is fetchable, so it can hold translated code as well.
void vram_write8(uint32_t a, uint32_t v) {
    store8(vram + vram_offset(a), v);
    if (code_write_watch) code_write_watch(a);
}
void vram_write16(uint32_t a, uint32_t v) {
    store16(vram + vram_offset(a & ~1u), v);
    if (code_write_watch) code_write_watch(a);
}
void vram_write32(uint32_t a, uint32_t v) {
    store32(vram + vram_offset(a & ~3u), v);
    if (code_write_watch) code_write_watch(a);
}

// --- Cartridge image: its length is known only at run time ----------------
// The buffer is padded to a multiple of 4, so an aligned access that starts
// below rom_size stays inside it.
uint32_t rom_read8(uint32_t a) {
    uint32_t o = a & 0xFFFFFF;
    return o < rom_size ? load8(rom + o) : 0;
}
uint32_t rom_read16(uint32_t a) {
    uint32_t o = a & 0xFFFFFE;
    return o < rom_size ? load16(rom + o) : 0;
}
uint32_t rom_read32(uint32_t a) {
    uint32_t o = a & 0xFFFFFC;
    return o < rom_size ? load32(rom + o) : 0;
}
void rom_write8(uint32_t a, uint32_t v) {
    uint32_t o = a & 0xFFFFFF;
    if (o < rom_size) store8(rom + o, v);
    if (code_write_watch) code_write_watch(a);
}
void rom_write16(uint32_t a, uint32_t v) {
    uint32_t o = a & 0xFFFFFE;
    if (o < rom_size) store16(rom + o, v);
    if (code_write_watch) code_write_watch(a);
}
void rom_write32(uint32_t a, uint32_t v) {
    uint32_t o = a & 0xFFFFFC;
    if (o < rom_size) store32(rom + o, v);
    if (code_write_watch) code_write_watch(a);
}

// --- Region 15: nothing behind it -----------------------------------------
uint32_t open_read8(uint32_t) { return 0x00; }
uint32_t open_read16(uint32_t) { return 0xFF; }
uint32_t open_read32(uint32_t) { return 0xFF; }
void ignore_write(uint32_t, uint32_t) {}

// clang-format off
#define BIOS_ROW     { bounded_read8<bios_mem, BIOS_SIZE>, bounded_read16<bios_mem, BIOS_SIZE>, \
                       bounded_read32<bios_mem, BIOS_SIZE>, ignore_write, ignore_write, bios_write32 }
#define WRAM_ROW     { mirrored_read8<wram, WRAM_SIZE>, mirrored_read16<wram, WRAM_SIZE>, \
                       mirrored_read32<wram, WRAM_SIZE>, code_ram_write8<wram, WRAM_SIZE>, \
                       code_ram_write16<wram, WRAM_SIZE>, code_ram_write32<wram, WRAM_SIZE> }
#define IRAM_ROW     { mirrored_read8<iram, IRAM_SIZE>, mirrored_read16<iram, IRAM_SIZE>, \
                       mirrored_read32<iram, IRAM_SIZE>, code_ram_write8<iram, IRAM_SIZE>, \
                       code_ram_write16<iram, IRAM_SIZE>, code_ram_write32<iram, IRAM_SIZE> }
#define IO_ROW       { bounded_read8<io_regs, IO_SIZE>, io_read16_with_keys, \
                       bounded_read32<io_regs, IO_SIZE>, io_store8, io_store16, io_store32 }
#define PRAM_ROW     { mirrored_read8<pram, PRAM_SIZE>, mirrored_read16<pram, PRAM_SIZE>, \
                       mirrored_read32<pram, PRAM_SIZE>, pram_write8, pram_write16, pram_write32 }
#define VRAM_ROW     { vram_read8, vram_read16, vram_read32, vram_write8, vram_write16, vram_write32 }
#define OAM_ROW      { mirrored_read8<oam, OAM_SIZE>, mirrored_read16<oam, OAM_SIZE>, \
                       mirrored_read32<oam, OAM_SIZE>, mirrored_write8<oam, OAM_SIZE>, \
                       mirrored_write16<oam, OAM_SIZE>, mirrored_write32<oam, OAM_SIZE> }
#define ROM_ROW      { rom_read8, rom_read16, rom_read32, rom_write8, rom_write16, rom_write32 }
#define CART_RAM_ROW { bounded_read8<cart_ram, CART_RAM_SIZE>, bounded_read16<cart_ram, CART_RAM_SIZE>, \
                       bounded_read32<cart_ram, CART_RAM_SIZE>, bounded_write8<cart_ram, CART_RAM_SIZE>, \
                       bounded_write16<cart_ram, CART_RAM_SIZE>, bounded_write32<cart_ram, CART_RAM_SIZE> }
#define OPEN_ROW     { open_read8, open_read16, open_read32, ignore_write, ignore_write, ignore_write }

const BusRegion bus_handlers[16] = {
    BIOS_ROW,      // 0x00000000-0x00FFFFFF  BIOS
    BIOS_ROW,      // 0x01000000-0x01FFFFFF  BIOS again
    WRAM_ROW,      // 0x02000000-0x02FFFFFF  work RAM, 256 KB mirrored
    IRAM_ROW,      // 0x03000000-0x03FFFFFF  internal RAM, 32 KB mirrored
    IO_ROW,        // 0x04000000-0x04FFFFFF  IO registers, 0x600 bytes
    PRAM_ROW,      // 0x05000000-0x05FFFFFF  palette, 1 KB mirrored
    VRAM_ROW,      // 0x06000000-0x06FFFFFF  video RAM, 96 KB in 128 KB mirrored
    OAM_ROW,       // 0x07000000-0x07FFFFFF  object attributes, 1 KB mirrored
    ROM_ROW,       // 0x08000000-0x08FFFFFF  cartridge image
    ROM_ROW,       // 0x09000000-0x09FFFFFF  cartridge image
    ROM_ROW,       // 0x0A000000-0x0AFFFFFF  cartridge image
    ROM_ROW,       // 0x0B000000-0x0BFFFFFF  cartridge image
    ROM_ROW,       // 0x0C000000-0x0CFFFFFF  cartridge image
    ROM_ROW,       // 0x0D000000-0x0DFFFFFF  cartridge image
    CART_RAM_ROW,  // 0x0E000000-0x0EFFFFFF  cartridge RAM, 640 bytes
    OPEN_ROW,      // 0x0F000000-0x0FFFFFFF  nothing
};
// clang-format on

const BusRegion& region_of(uint32_t address) { return bus_handlers[(address >> 24) & 15]; }

}  // namespace

uint32_t mem_read8(uint32_t address) { return region_of(address).read8(address); }
uint32_t mem_read16(uint32_t address) { return region_of(address).read16(address); }
uint32_t mem_read32(uint32_t address) { return region_of(address).read32(address); }
void mem_write8(uint32_t address, uint32_t value) { region_of(address).write8(address, value); }
void mem_write16(uint32_t address, uint32_t value) { region_of(address).write16(address, value); }
void mem_write32(uint32_t address, uint32_t value) { region_of(address).write32(address, value); }
