// The processor's data accesses: what the bus operations of memory/memory.h
// return and do, read and written in place where the address's page has a
// fast entry, and through the bus everywhere else. A load or store is a
// fifth of compiled code's instructions; the bus costs it two calls.
//
// A fast write skips the bus's code_write_watch. Pages that hold translated
// code have no write entry (memory/memory.h); while a watch is installed,
// every store takes the bus all the same, so that the watch sees them all.
#pragma once

#include <cstdint>

#include "memory/memory.h"

namespace data_access_detail {

// The host byte of an aligned address in a page whose entry is `page`.
inline uint8_t* byte_in(uintptr_t page, uint32_t aligned) {
    return reinterpret_cast<uint8_t*>(page + (aligned & CONSOLE_ADDRESS_MASK));
}

inline uintptr_t read_page(uint32_t address) { return fast_read_pages[fast_page_index(address)]; }

inline uintptr_t write_page(uint32_t address) {
    return code_write_watch ? 0 : fast_write_pages[fast_page_index(address)];
}

}  // namespace data_access_detail

inline uint32_t cpu_read8(uint32_t address) {
    uintptr_t page = data_access_detail::read_page(address);
    if (!page) [[unlikely]]
        return mem_read8(address);
    return *data_access_detail::byte_in(page, address);
}
inline uint32_t cpu_read16(uint32_t address) {
    uintptr_t page = data_access_detail::read_page(address);
    if (!page) [[unlikely]]
        return mem_read16(address);
    return load_le16(data_access_detail::byte_in(page, address & ~1u));
}
inline uint32_t cpu_read32(uint32_t address) {
    uintptr_t page = data_access_detail::read_page(address);
    if (!page) [[unlikely]]
        return mem_read32(address);
    return load_le32(data_access_detail::byte_in(page, address & ~3u));
}

inline void cpu_write8(uint32_t address, uint32_t value) {
    uintptr_t page = data_access_detail::write_page(address);
    if (!page) [[unlikely]]
        return mem_write8(address, value);
    *data_access_detail::byte_in(page, address) = uint8_t(value);
}
inline void cpu_write16(uint32_t address, uint32_t value) {
    uintptr_t page = data_access_detail::write_page(address);
    if (!page) [[unlikely]]
        return mem_write16(address, value);
    uint16_t half = uint16_t(value);
    __builtin_memcpy(data_access_detail::byte_in(page, address & ~1u), &half, 2);
}
inline void cpu_write32(uint32_t address, uint32_t value) {
    uintptr_t page = data_access_detail::write_page(address);
    if (!page) [[unlikely]]
        return mem_write32(address, value);
    __builtin_memcpy(data_access_detail::byte_in(page, address & ~3u), &value, 4);
}
