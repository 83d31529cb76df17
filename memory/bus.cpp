// The six bus operations: each picks its handler by address bits 24-27 from
// `bus_handlers`, whose rows are made from the rows of memory_map.
#include <array>
#include <cstring>
#include <utility>

#include "memory/memory.h"
#include "memory/memory_map.h"

void (*code_write_watch)(uint32_t address) = nullptr;

namespace {

using Read = uint32_t (*)(uint32_t address);
using Write = void (*)(uint32_t address, uint32_t value);

struct BusRegion {
    Read read8, read16, read32;
    Write write8, write16, write32;
};

// Little-endian accessors; the host is little-endian.
template <uint32_t WIDTH>
uint32_t load(const uint8_t* p) {
    if constexpr (WIDTH == 1) {
        return *p;
    } else if constexpr (WIDTH == 2) {
        return load_le16(p);
    } else {
        return load_le32(p);
    }
}
template <uint32_t WIDTH>
void store(uint8_t* p, uint32_t v) {
    if constexpr (WIDTH == 1) {
        *p = uint8_t(v);
    } else if constexpr (WIDTH == 2) {
        uint16_t half = uint16_t(v);
        std::memcpy(p, &half, 2);
    } else {
        std::memcpy(p, &v, 4);
    }
}

// The array behind region R and the offset an aligned address shows in it,
// or null when nothing is there. Every test the row makes unnecessary
// (mirrors as long as the array, folds) disappears at compile time.
template <int R>
uint8_t* byte_at(uint32_t aligned) {
    constexpr MemoryRegion row = memory_map[R];
    uint32_t offset = shown_offset(row, aligned);
    if constexpr (row.array == RegionArray::IMAGE) {
        return offset < rom_size ? rom + offset : nullptr;  // rom_size is 0 without an image
    } else if constexpr (row.size < row.mirror && !row.fold) {
        return offset < row.size ? fixed_array(row.array) + offset : nullptr;
    } else {
        return fixed_array(row.array) + offset;
    }
}

template <int R, uint32_t WIDTH>
uint32_t bus_read(uint32_t address) {
    constexpr MemoryRegion row = memory_map[R];
    if constexpr (row.reads == RegionReads::OPEN) {
        return WIDTH == 1 ? 0x00 : 0xFF;
    } else {
        if constexpr (row.reads == RegionReads::BUTTONS && WIDTH == 2)
            if ((address & 0xFFE) == KEY_INPUT) return key_state;
        const uint8_t* p = byte_at<R>(address & ~(WIDTH - 1));
        return p ? load<WIDTH>(p) : 0;
    }
}

// Every host_palette entry whose halfword the write touched follows pram.
template <uint32_t WIDTH>
void refresh_palette(uint32_t aligned) {
    uint32_t offset = aligned & (PRAM_SIZE - 1);
    for (uint32_t i = 0; i < WIDTH; i += 2)
        host_palette[(offset + i) >> 1] = to_host_colour(load_le16(pram + ((offset + i) & ~1u)));
}

template <int R, uint32_t WIDTH>
void bus_write(uint32_t address, uint32_t value) {
    constexpr MemoryRegion row = memory_map[R];
    if constexpr (row.stores & WIDTH) {
        uint32_t aligned = address & ~(WIDTH - 1);
        if (uint8_t* p = byte_at<R>(aligned)) store<WIDTH>(p, value);
        if constexpr (row.after_write == AfterWrite::IO_HOOK)
            io_write_hook(aligned, WIDTH == 4 ? value : value & ((1u << (8 * WIDTH)) - 1));
        if constexpr (row.after_write == AfterWrite::PALETTE) refresh_palette<WIDTH>(aligned);
        if constexpr (row.code == RegionCode::TRANSLATED)
            if (code_write_watch) code_write_watch(address);
    }
}

template <int R>
constexpr BusRegion bus_row = {bus_read<R, 1>,  bus_read<R, 2>,  bus_read<R, 4>,
                               bus_write<R, 1>, bus_write<R, 2>, bus_write<R, 4>};

template <std::size_t... R>
constexpr std::array<BusRegion, 16> bus_rows(std::index_sequence<R...>) {
    return {bus_row<R>...};
}

constexpr std::array<BusRegion, 16> bus_handlers = bus_rows(std::make_index_sequence<16>());

const BusRegion& handlers_of(uint32_t address) { return bus_handlers[region_of(address)]; }

}  // namespace

uint32_t mem_read8(uint32_t address) { return handlers_of(address).read8(address); }
uint32_t mem_read16(uint32_t address) { return handlers_of(address).read16(address); }
uint32_t mem_read32(uint32_t address) { return handlers_of(address).read32(address); }
void mem_write8(uint32_t address, uint32_t value) { handlers_of(address).write8(address, value); }
void mem_write16(uint32_t address, uint32_t value) { handlers_of(address).write16(address, value); }
void mem_write32(uint32_t address, uint32_t value) { handlers_of(address).write32(address, value); }
