// Bus fuzzer: random sequences of the six bus operations at random addresses
// and widths, DMA3 included (writes to 0x040000D4-0x040000DF start copies).
// AddressSanitizer guards the arrays' bounds; after every operation the
// palette upkeep invariant must hold: host_palette is the conversion of pram.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cpu/cpu.h"
#include "memory/memory.h"
#include "shell/main_loop.h"

namespace {

bool started = false;

void check_palette() {
    for (uint32_t i = 0; i < PALETTE_ENTRIES; i++) {
        uint32_t colour = uint32_t(pram[2 * i]) | uint32_t(pram[2 * i + 1]) << 8;
        if (host_palette[i] != to_host_colour(colour)) std::abort();
    }
}

uint32_t take32(const uint8_t*& data, size_t& size) {
    uint32_t value = 0;
    size_t n = size < 4 ? size : 4;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

// Most operations aim at the interesting regions: the address's top byte is
// folded onto 0x00-0x0F, with IO and DMA3 registers favoured.
uint32_t aim(uint32_t raw) {
    uint32_t address = raw & 0x0FFFFFFF;
    if ((raw >> 28) == 0xF) address = 0x040000D0 | (raw & 0xF);  // DMA3 registers
    if ((raw >> 28) == 0xE) address = raw;                       // bits 28-31 set
    return address;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!started) {
        console_startup();
        started = true;
    }
    alloc_memory();
    write_bios_image();
    uint8_t* image = new uint8_t[ROM_MIN_SIZE]();
    install_rom(image, ROM_MIN_SIZE);
    build_region_base();

    while (size >= 5) {
        uint8_t op = *data++;
        size--;
        uint32_t address = aim(take32(data, size));
        uint32_t value = take32(data, size);
        switch (op % 7) {
            case 0: (void)mem_read8(address); break;
            case 1: (void)mem_read16(address); break;
            case 2: (void)mem_read32(address); break;
            case 3: mem_write8(address, value); break;
            case 4: mem_write16(address, value); break;
            case 5: mem_write32(address, value); break;
            default: (void)fetch_word(address); break;
        }
        check_palette();
    }
    return 0;
}
