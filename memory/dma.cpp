// The IO write hook and DMA channel 3, the console's only DMA channel. A
// copy runs at once, inside the write to 0x0DC that starts it.
#include "memory/memory.h"

uint32_t dma3_source = 0;
uint32_t dma3_dest = 0;
uint16_t dma3_count = 0;
uint16_t dma3_control = 0;

namespace {

constexpr uint32_t DMA3_WORD_UNITS = 0x0400;  // control bit 10: count in words

// True while a copy runs. A copy whose destination covers DMA3's own count
// register writes new counts as it goes; those writes set the registers but
// start nothing, and the copy under way runs to its end. Otherwise a source
// that keeps supplying counts would nest copies until the host's stack ran
// out.
bool dma3_running = false;

void dma3_start() {
    if (dma3_running) return;
    uint32_t length = (dma3_control & DMA3_WORD_UNITS) ? dma3_count * 4u : dma3_count * 2u;
    dma3_running = true;
    dma3_copy(dma3_source, dma3_dest, length);
    dma3_running = false;
}

}  // namespace

// Only the low 8 bits of the address matter, so 0x1D4, 0x2D4... act like
// 0x0D4. A write to 0x0D6 or 0x0DA touches none of the DMA3 values.
void io_write_hook(uint32_t address, uint32_t value) {
    switch (address & 0xFF) {
        case 0xD4: dma3_source = value; break;
        case 0xD8: dma3_dest = value; break;
        case 0xDC:
            dma3_count = uint16_t(value);
            dma3_control = uint16_t(value >> 16);
            dma3_start();  // every write starts it; the enable bit is not consulted
            break;
        case 0xDE: dma3_control = uint16_t(value); break;
        default: break;
    }
}

// Halfword by halfword through the bus, both addresses increasing, so a copy
// into pram keeps the palette in step and a copy into IO reaches the hook.
void dma3_copy(uint32_t source, uint32_t dest, uint32_t length) {
    for (uint32_t i = 0; i < length; i += 2) mem_write16(dest + i, mem_read16(source + i));
}
