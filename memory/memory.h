// The console's memory: one host array per region of the 32-bit address
// space, the state of its IO (the buttons, DMA3), the palette kept in host
// colours and the built-in BIOS; the six bus operations every data access
// goes through, and the two instruction fetches. memory/memory_map.h
// describes the regions; everything here that depends on them is derived
// from that description.
//
// Use: alloc_memory() once at start-up, write_bios_image(), then a cartridge
// load installs `rom` (install_rom, build_region_base) and memory_reset()
// clears what a cartridge leaves behind. The processor fetches ARM
// instructions with fetch_word() and Thumb ones with fetch_halfword();
// everything else uses mem_read*/mem_write*.
//
// Every offset is bounded: regions mirror where the console mirrors
// (wram 256 KB, iram 32 KB, pram/oam 1 KB, vram 128 KB with 0x18000-0x1FFFF
// showing 0x10000-0x17FFF); io offsets from 0x600, rom offsets from
// `rom_size` and cart_ram offsets from 640 read 0 and ignore writes.
// 16-bit accesses use address & ~1 and 32-bit accesses address & ~3, as the
// console's bus does.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t BIOS_SIZE = 0x4000;
constexpr uint32_t WRAM_SIZE = 0x40000;
constexpr uint32_t IRAM_SIZE = 0x8000;
constexpr uint32_t IO_SIZE = 0x600;  // 768 halfwords
constexpr uint32_t PRAM_SIZE = 0x400;
constexpr uint32_t VRAM_SIZE = 0x20000;
constexpr uint32_t OAM_SIZE = 0x400;
constexpr uint32_t CART_RAM_SIZE = 0x280;
constexpr uint32_t PALETTE_ENTRIES = 512;

// Largest cartridge image a load accepts: the console's largest cartridge.
constexpr size_t ROM_MAX_SIZE = 32u * 1024 * 1024;
// Smallest image buffer: shorter files are followed by zero bytes.
constexpr size_t ROM_MIN_SIZE = 335544;

extern uint8_t bios_mem[BIOS_SIZE];
extern uint8_t wram[WRAM_SIZE];
extern uint8_t iram[IRAM_SIZE];
extern uint8_t io_regs[IO_SIZE];
extern uint8_t pram[PRAM_SIZE];
extern uint8_t vram[VRAM_SIZE];
extern uint8_t oam[OAM_SIZE];
extern uint8_t cart_ram[CART_RAM_SIZE];
extern uint8_t* rom;       // the loaded cartridge image, or null
extern uint32_t rom_size;  // its buffer length (0 while none is loaded)
extern uint32_t host_palette[PALETTE_ENTRIES];

// region_base[r] is the array behind region r, or null (region 15, and
// every entry before the first successful load). Offsets into it wrap with
// region_mask[r]; those at or past region_limit[r] show nothing, or, where
// region_fold[r] is not 0, the bytes region_fold[r] lower down.
extern uint8_t* region_base[16];
extern uint32_t region_mask[16];
extern uint32_t region_limit[16];
extern uint32_t region_fold[16];

// Sets everything to its start-up state: every array zero, no image, no
// button held, region_base empty.
void alloc_memory();
// Derives region_base and the fast pages from the map and the current image.
void build_region_base();
void clear_video_memory();
void free_memory();

// The state a cartridge starts from, whatever the previous one left: video
// memory cleared (as clear_video_memory) and DMA3's registers zero. Work
// RAM, internal RAM, the IO array, cartridge RAM, the BIOS and the buttons
// held keep their contents.
void memory_reset();

// Replaces the cartridge image (the caller hands over a new[]'d buffer) and
// rebuilds region_base. Passing null releases the image.
void install_rom(uint8_t* image, uint32_t size);

// The little-endian halfword at p (the host is little-endian).
inline uint16_t load_le16(const uint8_t* p) {
    uint16_t half;
    __builtin_memcpy(&half, p, 2);
    return half;
}
inline uint32_t load_le32(const uint8_t* p) {
    uint32_t word;
    __builtin_memcpy(&word, p, 4);
    return word;
}

// Fast pages: 4 KB pages of the console's 28-bit address space (bits 28-31
// are ignored, as everywhere), indexed by (address >> 12) & 0xFFFF. An entry
// is the host address of the page minus the page's console address, so the
// host byte of an address is entry + (address & 0x0FFFFFFF); 0 means the
// page has no fast path. A page has a read entry where every aligned read of
// every width returns the array's bytes without side effects (the BIOS,
// work RAM, internal RAM, video RAM with its mirror, whole pages of the
// image), and a write entry where every width stores plainly (work RAM,
// internal RAM, video RAM). A write entry skips
// code_write_watch: whoever translates code in a page must call
// forbid_fast_writes for it.
constexpr uint32_t FAST_PAGE_SHIFT = 12;
constexpr uint32_t FAST_PAGE_SIZE = 1u << FAST_PAGE_SHIFT;
constexpr uint32_t FAST_PAGE_COUNT = 1u << (28 - FAST_PAGE_SHIFT);
constexpr uint32_t CONSOLE_ADDRESS_MASK = 0x0FFFFFFF;
// The tables run on over the whole 32-bit space, with no entries past the
// first FAST_PAGE_COUNT: translated code indexes them with the whole
// address, and one with any of bits 28-31 set finds none and takes the
// slow path, which ignores those bits. The entries never written cost no
// memory.
constexpr uint32_t FAST_PAGE_TABLE_SIZE = 1u << (32 - FAST_PAGE_SHIFT);
extern uintptr_t fast_read_pages[FAST_PAGE_TABLE_SIZE];
extern uintptr_t fast_write_pages[FAST_PAGE_TABLE_SIZE];

inline uint32_t fast_page_index(uint32_t address) {
    return (address >> FAST_PAGE_SHIFT) & (FAST_PAGE_COUNT - 1);
}
// What the entries of the page holding `address` should be, from the map and
// the current image (the tables hold these after build_region_base).
uintptr_t fast_read_page(uint32_t address);
uintptr_t fast_write_page(uint32_t address);
// Rebuilds both tables; alloc_memory empties them.
void build_fast_pages();
// Removes the write entry of every page that shows the same host bytes as
// the page holding `address` (all its mirrors), so that writes there take
// the bus and its code_write_watch.
void forbid_fast_writes(uint32_t address);
// Gives those pages their write entries back.
void allow_fast_writes(uint32_t address);

// The ARM instruction fetch: the little-endian word at address & ~3 read
// straight from the region's array, with no bus side effects; 0 where no
// array lies behind the address. Inline: it runs once per instruction.
uint32_t fetch_word_outside_fast_pages(uint32_t address);
inline uint32_t fetch_word(uint32_t address) {
    uintptr_t page = fast_read_pages[fast_page_index(address)];
    if (!page) return fetch_word_outside_fast_pages(address);
    return load_le32(
        reinterpret_cast<const uint8_t*>(page + (address & CONSOLE_ADDRESS_MASK & ~3u)));
}

uint32_t mem_read8(uint32_t address);
uint32_t mem_read16(uint32_t address);
uint32_t mem_read32(uint32_t address);
void mem_write8(uint32_t address, uint32_t value);
void mem_write16(uint32_t address, uint32_t value);
void mem_write32(uint32_t address, uint32_t value);

// The Thumb instruction fetch: exactly what mem_read16 returns, read in
// place where the page has a fast read entry (code in the image, work RAM,
// internal RAM...) instead of through the bus table. Thumb steps spend a
// third of their host instructions on the fetch otherwise.
inline uint32_t fetch_halfword(uint32_t address) {
    uintptr_t page = fast_read_pages[fast_page_index(address)];
    if (!page) return mem_read16(address) & 0xFFFF;
    return load_le16(
        reinterpret_cast<const uint8_t*>(page + (address & CONSOLE_ADDRESS_MASK & ~1u)));
}

// The buttons: 16-bit reads of IO offset 0x130 answer this active-low word
// (bit clear while its button is held).
extern uint16_t key_state;

// Called after every store into region 4, with the full address and the
// written value zero-extended.
void io_write_hook(uint32_t address, uint32_t value);
void dma3_copy(uint32_t source, uint32_t dest, uint32_t length);
extern uint32_t dma3_source;
extern uint32_t dma3_dest;
extern uint16_t dma3_count;
extern uint16_t dma3_control;

// A bus write into a region where code may be translated (the BIOS, work
// RAM, internal RAM, video RAM, the image) lands here with the written
// address, so that the recompiler can drop translations of code that was
// overwritten. Null while nothing watches.
extern void (*code_write_watch)(uint32_t address);

// 16-bit palette colour (red 0-4, green 5-9, blue 10-14) to the screen's
// 32-bit pixel (red 19-23, green 11-15, blue 3-7).
inline uint32_t to_host_colour(uint32_t c) {
    return (c << 19) | ((c & 0x3E0) << 6) | ((c & 0x7C00) >> 7);
}

// IO registers the system gives a meaning, as offsets into io_regs.
constexpr uint32_t DISP_CR = 0x000;
constexpr uint32_t DISP_SR = 0x004;
constexpr uint32_t DISP_Y = 0x006;
constexpr uint32_t BG0_CR = 0x008;
constexpr uint32_t BG1_CR = 0x00A;
constexpr uint32_t BG2_CR = 0x00C;
constexpr uint32_t BG3_CR = 0x00E;
constexpr uint32_t DMA3 = 0x0D4;  // source, dest, count, control
constexpr uint32_t KEY_INPUT = 0x130;

inline uint16_t io_read16(uint32_t offset) { return load_le16(io_regs + offset); }
inline void io_write16(uint32_t offset, uint16_t value) {
    io_regs[offset] = uint8_t(value);
    io_regs[offset + 1] = uint8_t(value >> 8);
}

// The built-in BIOS: 37 words of ARM code and data at 0x00000000.
constexpr int BIOS_WORDS = 37;
extern const uint32_t bios_image[BIOS_WORDS];
void write_bios_image();
