// The processor's data accesses: what the bus operations of memory/memory.h
// return and do, read and written in place where the address's page has a
// fast entry, and through the bus everywhere else. A load or store is a
// fifth of compiled code's instructions; the bus costs it two calls.
//
// A fast write skips the bus's code_write_watch, so stores take the bus
// whenever a watch is installed (the recompiler holds translated code).
#pragma once

#include <cstdint>

#include "memory/memory.h"

namespace data_access_detail {

inline uint8_t* fast_byte(const uintptr_t* pages, uint32_t aligned) {
    uintptr_t page = pages[fast_page_index(aligned)];
    if (!page) return nullptr;
    return reinterpret_cast<uint8_t*>(page + (aligned & CONSOLE_ADDRESS_MASK));
}

}  // namespace data_access_detail

inline uint32_t cpu_read8(uint32_t address) {
    const uint8_t* p = data_access_detail::fast_byte(fast_read_pages, address);
    return p ? *p : mem_read8(address);
}
inline uint32_t cpu_read16(uint32_t address) {
    const uint8_t* p = data_access_detail::fast_byte(fast_read_pages, address & ~1u);
    return p ? load_le16(p) : mem_read16(address);
}
inline uint32_t cpu_read32(uint32_t address) {
    const uint8_t* p = data_access_detail::fast_byte(fast_read_pages, address & ~3u);
    return p ? load_le32(p) : mem_read32(address);
}

inline void cpu_write8(uint32_t address, uint32_t value) {
    uint8_t* p =
        code_write_watch ? nullptr : data_access_detail::fast_byte(fast_write_pages, address);
    if (!p) return mem_write8(address, value);
    *p = uint8_t(value);
}
inline void cpu_write16(uint32_t address, uint32_t value) {
    uint8_t* p =
        code_write_watch ? nullptr : data_access_detail::fast_byte(fast_write_pages, address & ~1u);
    if (!p) return mem_write16(address, value);
    uint16_t half = uint16_t(value);
    __builtin_memcpy(p, &half, 2);
}
inline void cpu_write32(uint32_t address, uint32_t value) {
    uint8_t* p =
        code_write_watch ? nullptr : data_access_detail::fast_byte(fast_write_pages, address & ~3u);
    if (!p) return mem_write32(address, value);
    __builtin_memcpy(p, &value, 4);
}
