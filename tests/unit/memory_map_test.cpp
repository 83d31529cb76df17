// The memory map at its edges: what every region shows at the boundaries of
// its array and of its mirrors, with the bus, both instruction fetches, the
// fast page tables and the code pages all agreeing; and the reset a
// cartridge load starts from.
#include <numeric>

#include "console_fixture.h"
#include "dynarec/code_pages.h"

namespace {

class MemoryMapTest : public ConsoleTest {};

// A sum over every array, to see that a write changed nothing.
uint64_t memory_checksum() {
    auto sum = [](const uint8_t* p, size_t n) {
        uint64_t s = 0;
        for (size_t i = 0; i < n; i++) s = s * 31 + p[i];
        return s;
    };
    return sum(bios_mem, BIOS_SIZE) ^ sum(wram, WRAM_SIZE) * 3 ^ sum(iram, IRAM_SIZE) * 5 ^
           sum(io_regs, IO_SIZE) * 7 ^ sum(pram, PRAM_SIZE) * 11 ^ sum(vram, VRAM_SIZE) * 13 ^
           sum(oam, OAM_SIZE) * 17 ^ sum(cart_ram, CART_RAM_SIZE) * 19 ^ sum(rom, rom_size) * 23;
}

// What one address shows at its edge of the map.
enum Shows {
    OWN,     // bytes of its own, stored by 32-bit writes
    MIRROR,  // the same bytes as `other`
    EMPTY,   // nothing: reads 0 at every width, writes change nothing
};

struct Edge {
    const char* name;
    uint32_t address;
    Shows shows;
    uint32_t other;
};

const uint32_t IMAGE_END = 0x08000000 + uint32_t(ROM_MIN_SIZE);  // the fixture's image

// clang-format off
const Edge edges[] = {
    {"BIOS last word",            0x00003FFC, OWN,    0},
    {"BIOS past its end",         0x00004000, EMPTY,  0},
    {"BIOS region 1",             0x01003FFC, MIRROR, 0x00003FFC},
    {"BIOS region 1 past end",    0x01FFFFFC, EMPTY,  0},
    {"work RAM last word",        0x0203FFFC, OWN,    0},
    {"work RAM first mirror",     0x02040000, MIRROR, 0x02000000},
    {"work RAM last mirror",      0x02FFFFFC, MIRROR, 0x0203FFFC},
    {"internal RAM last word",    0x03007FFC, OWN,    0},
    {"internal RAM mirror",       0x03008000, MIRROR, 0x03000000},
    {"internal RAM last mirror",  0x03FFFFFC, MIRROR, 0x03007FFC},
    {"IO last word",              0x040005FC, OWN,    0},
    {"IO past its end",           0x04000600, EMPTY,  0},
    {"IO region end",             0x04FFFFFC, EMPTY,  0},
    {"palette last word",         0x050003FC, OWN,    0},
    {"palette mirror",            0x05000400, MIRROR, 0x05000000},
    {"video RAM 0x17FFC",         0x06017FFC, OWN,    0},
    {"video RAM 0x18000",         0x06018000, MIRROR, 0x06010000},
    {"video RAM 0x1FFFC",         0x0601FFFC, MIRROR, 0x06017FFC},
    {"video RAM 0x20000",         0x06020000, MIRROR, 0x06000000},
    {"video RAM last 0x18000",    0x06FF8000, MIRROR, 0x06010000},
    {"objects last word",         0x070003FC, OWN,    0},
    {"objects mirror",            0x07000400, MIRROR, 0x07000000},
    {"image last word",           IMAGE_END - 4, OWN, 0},
    {"image word after",          IMAGE_END,  EMPTY,  0},
    {"image region 0x0D",         0x0D000000, MIRROR, 0x08000000},
    {"image region 0x0D last",    IMAGE_END - 4 + 0x05000000, MIRROR, IMAGE_END - 4},
    {"image region end",          0x08FFFFFC, EMPTY,  0},
    {"cartridge RAM last word",   0x0E00027C, OWN,    0},
    {"cartridge RAM past end",    0x0E000280, EMPTY,  0},
};
// clang-format on

// Both fetches and both fast tables must say what the bus says.
void expect_fetches_match_bus(uint32_t address) {
    EXPECT_EQ(fetch_word(address), mem_read32(address)) << std::hex << address;
    EXPECT_EQ(fetch_word(address + 2), mem_read32(address)) << std::hex << address;
    EXPECT_EQ(fetch_halfword(address + 2), mem_read16(address + 2)) << std::hex << address;
    if (uintptr_t page = fast_read_page(address)) {
        const uint8_t* host = reinterpret_cast<const uint8_t*>(page + (address & 0x0FFFFFFF));
        EXPECT_EQ(load_le32(host), mem_read32(address)) << std::hex << address;
    }
}

void check_edge(const Edge& edge, uint32_t high_bits) {
    uint32_t address = edge.address | high_bits;
    switch (edge.shows) {
        case OWN:
            mem_write32(address, 0x8899AABB);
            EXPECT_EQ(mem_read32(address), 0x8899AABBu);
            EXPECT_EQ(mem_read16(address + 2), 0x8899u);
            EXPECT_EQ(mem_read8(address + 1), 0xAAu);
            break;
        case MIRROR:
            mem_write32(edge.other, 0x11223344);
            EXPECT_EQ(mem_read32(address), 0x11223344u);
            mem_write32(address, 0x55667788);
            EXPECT_EQ(mem_read32(edge.other), 0x55667788u);
            EXPECT_EQ(fetch_word(edge.other), fetch_word(address));
            break;
        case EMPTY: {
            uint64_t before = memory_checksum();
            mem_write32(address, 0xFFFFFFFF);
            mem_write16(address + 2, 0xFFFF);
            mem_write8(address + 3, 0xFF);
            EXPECT_EQ(memory_checksum(), before);
            EXPECT_EQ(mem_read32(address), 0u);
            EXPECT_EQ(mem_read16(address + 2), 0u);
            EXPECT_EQ(mem_read8(address + 3), 0u);
            EXPECT_EQ(fast_read_page(address), 0u);
            EXPECT_EQ(fast_write_page(address), 0u);
            break;
        }
    }
    expect_fetches_match_bus(address);
}

TEST_F(MemoryMapTest, EveryRegionAtTheEdgesOfItsArrayAndMirrors) {
    for (const Edge& edge : edges) {
        SCOPED_TRACE(edge.name);
        check_edge(edge, 0);
    }
}

TEST_F(MemoryMapTest, AddressBitsTwentyEightToThirtyOneAreIgnored) {
    for (uint32_t high_bits : {0x10000000u, 0x80000000u, 0xF0000000u}) {
        for (const Edge& edge : edges) {
            SCOPED_TRACE(edge.name);
            SCOPED_TRACE(high_bits);
            check_edge(edge, high_bits);
            uint32_t address = edge.address | high_bits;
            EXPECT_EQ(mem_read32(address), mem_read32(edge.address));
            EXPECT_EQ(fetch_word(address), fetch_word(edge.address));
            EXPECT_EQ(fetch_halfword(address), fetch_halfword(edge.address));
        }
    }
}

TEST_F(MemoryMapTest, RegionFifteenAndUnalignedFetches) {
    for (uint32_t address : {0x0F000000u, 0x0FFFFFFEu, 0xFF000000u}) {
        EXPECT_EQ(fetch_word(address), 0u);
        EXPECT_EQ(fetch_halfword(address), 0xFFu);  // what the bus answers
        EXPECT_EQ(fast_read_page(address), 0u);
    }
    mem_write32(0x03000100, 0x44332211);
    EXPECT_EQ(fetch_word(0x03000103), 0x44332211u);
    EXPECT_EQ(fetch_halfword(0x03000103), 0x4433u);
    mem_write32(0x07000100, 0x44332211);  // objects: no fast page, same answers
    EXPECT_EQ(fetch_word(0x07000103), 0x44332211u);
    EXPECT_EQ(fetch_halfword(0x07000103), 0x4433u);
}

// The regions the recompiler's inline loads and stores may reach directly.
struct FastCase {
    const char* name;
    uint32_t address;
    bool read;
    bool write;
};

// clang-format off
const FastCase fast_cases[] = {
    {"BIOS",                   0x00000000, true,  false},  // 8- and 16-bit writes do nothing
    {"BIOS last page",         0x00003000, true,  false},
    {"BIOS past its end",      0x00004000, false, false},
    {"BIOS region 1",          0x01002000, true,  false},
    {"work RAM",               0x02000000, true,  true},
    {"work RAM mirror",        0x02FFF000, true,  true},
    {"internal RAM",           0x03007000, true,  true},
    {"internal RAM mirror",    0x03FF8000, true,  true},
    {"IO",                     0x04000000, false, false},  // buttons, DMA3
    {"palette",                0x05000000, false, false},  // host colours; 1 KB mirrors
    {"video RAM 0x17000",      0x06017000, true,  true},
    {"video RAM 0x18000",      0x06018000, true,  true},
    {"video RAM 0x1F000",      0x0601F000, true,  true},
    {"objects",                0x07000000, false, false},  // 1 KB mirrors
    {"image",                  0x08000000, true,  false},  // writes take the bus
    {"image region 0x0D",      0x0D050000, true,  false},
    {"image's partial page",   IMAGE_END & ~0xFFFu, false, false},
    {"image past its end",     0x08100000, false, false},
    {"cartridge RAM",          0x0E000000, false, false},  // shorter than a page
    {"nothing",                0x0F000000, false, false},
};
// clang-format on

TEST_F(MemoryMapTest, FastPagesReachTheSameBytesAsTheBus) {
    for (const FastCase& c : fast_cases) {
        SCOPED_TRACE(c.name);
        for (uint32_t high_bits : {0u, 0xF0000000u}) {
            uint32_t page_address = c.address | high_bits;
            uintptr_t read = fast_read_pages[fast_page_index(page_address)];
            uintptr_t write = fast_write_pages[fast_page_index(page_address)];
            EXPECT_EQ(read != 0, c.read);
            EXPECT_EQ(write != 0, c.write);
            EXPECT_EQ(read, fast_read_page(page_address));
            EXPECT_EQ(write, fast_write_page(page_address));
            for (uint32_t offset : {0u, 0x7FCu, 0xFFCu}) {
                uint32_t address = page_address + offset;
                if (read) {
                    auto* host = reinterpret_cast<const uint8_t*>(read + (address & 0x0FFFFFFF));
                    if (c.write) mem_write32(address, 0xC0DE0000 | offset);
                    EXPECT_EQ(load_le32(host), mem_read32(address));
                    EXPECT_EQ(host[1], mem_read8(address + 1));
                }
                if (write) {
                    auto* host = reinterpret_cast<uint8_t*>(write + (address & 0x0FFFFFFF));
                    uint32_t word = 0x5EED0000 | offset;
                    std::memcpy(host, &word, 4);
                    EXPECT_EQ(mem_read32(address), word);
                }
            }
        }
    }
}

TEST_F(MemoryMapTest, EveryFastPageAgreesWithTheBus) {
    for (uint32_t page = 0; page < FAST_PAGE_COUNT; page++) {
        uint32_t address = page << FAST_PAGE_SHIFT;
        if (uintptr_t read = fast_read_pages[page]) {
            mem_write32(address + 0xFF8, page);  // BIOS words store too
            auto* host = reinterpret_cast<const uint8_t*>(read + address);
            ASSERT_EQ(load_le32(host + 0xFF8), mem_read32(address + 0xFF8)) << std::hex << address;
        }
        if (uintptr_t write = fast_write_pages[page]) {
            auto* host = reinterpret_cast<uint8_t*>(write + address);
            host[0xFFD] = uint8_t(page);
            ASSERT_EQ(mem_read8(address + 0xFFD), uint8_t(page)) << std::hex << address;
        }
    }
}

TEST_F(MemoryMapTest, ForbiddingFastWritesCoversEveryMirrorOfThePage) {
    struct Case {
        uint32_t forbidden;
        std::vector<uint32_t> same_bytes;  // every one must lose its write entry
        uint32_t untouched;                // a neighbour that keeps it
    } cases[] = {
        {0x03000010, {0x03000000, 0x03008000, 0x03FF8000}, 0x03001000},
        {0x02FC1234, {0x02001000, 0x02041000, 0x02FC1000}, 0x02000000},
        {0x06010000, {0x06010000, 0x06018000, 0x06030000, 0x06FF8000}, 0x06011000},
        {0x0601F004, {0x06017000, 0x0601F000, 0x06037000, 0x0603F000}, 0x06016000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.forbidden);
        build_fast_pages();
        forbid_fast_writes(c.forbidden | 0xF0000000);
        for (uint32_t address : c.same_bytes) {
            EXPECT_EQ(fast_write_pages[fast_page_index(address)], 0u) << std::hex << address;
            EXPECT_NE(fast_read_pages[fast_page_index(address)], 0u) << std::hex << address;
        }
        EXPECT_NE(fast_write_pages[fast_page_index(c.untouched)], 0u);
        allow_fast_writes(c.forbidden);
        for (uint32_t address : c.same_bytes)
            EXPECT_EQ(fast_write_pages[fast_page_index(address)], fast_write_page(address))
                << std::hex << address;
    }
}

TEST_F(MemoryMapTest, AnotherImageMovesTheImagePages) {
    uint8_t* image = new uint8_t[0x1804]();
    image[0x1800] = 0x2A;
    image[0x0FFC] = 0x17;
    install_rom(image, 0x1804);  // a whole page, then a partial one
    EXPECT_NE(fast_read_pages[fast_page_index(0x08000000)], 0u);
    EXPECT_EQ(fast_read_pages[fast_page_index(0x08001000)], 0u);
    EXPECT_EQ(fetch_word(0x08000FFC), 0x17u);
    EXPECT_EQ(fetch_word(0x0C000FFC), 0x17u);
    EXPECT_EQ(fetch_word(0x08001800), 0x2Au);  // the image's last word
    EXPECT_EQ(fetch_halfword(0x08001800), 0x2Au);
    EXPECT_EQ(fetch_word(0x08001804), 0u);  // and the word after it
    EXPECT_EQ(fetch_halfword(0x08001804), 0u);
    install_rom(nullptr, 0);
    EXPECT_EQ(fast_read_pages[fast_page_index(0x08000000)], 0u);
    EXPECT_EQ(fetch_word(0x08000FFC), 0u);
}

TEST_F(MemoryMapTest, BeforeTheFirstLoadFetchesReadZeroAndHalfwordsTheBus) {
    alloc_memory();
    write_bios_image();
    mem_write32(0x02000000, 0xE3A00001);
    EXPECT_EQ(fetch_word(0x02000000), 0u);
    EXPECT_EQ(fetch_word(0x00000000), 0u);
    EXPECT_EQ(fetch_halfword(0x02000000), 0x0001u);
    EXPECT_EQ(fast_read_page(0x02000000), 0u);
}

#if defined(__x86_64__) || defined(__i386__)
TEST_F(MemoryMapTest, CodePagesFollowTheMirrors) {
    const uint32_t same_page[][2] = {
        {0x00000000, 0x01000000}, {0x02000000, 0x02040000}, {0x02000000, 0xF2FC0000},
        {0x03007C00, 0x03FFFFFC}, {0x06010000, 0x06018000}, {0x0601FFFC, 0x06017C00},
        {0x08000000, 0x0D000000}, {0x0C0003FC, 0x08000000},
    };
    for (const auto& pair : same_page) {
        SCOPED_TRACE(pair[0]);
        EXPECT_GE(code_page(pair[0]), 0);
        EXPECT_EQ(code_page(pair[0]), code_page(pair[1]));
    }
    const uint32_t other_page[][2] = {
        {0x02000000, 0x02000400}, {0x02000000, 0x03000000}, {0x06000000, 0x06010000},
        {0x06000000, 0x02000000}, {0x08000000, 0x00000000}, {0x06017C00, 0x08017C00},
    };
    for (const auto& pair : other_page) {
        SCOPED_TRACE(pair[0]);
        EXPECT_NE(code_page(pair[0]), code_page(pair[1]));
    }
    for (uint32_t address : {0x04000000u, 0x05000000u, 0x07000000u, 0x0E000000u})
        EXPECT_EQ(code_page(address), CODE_PAGE_UNWATCHED) << std::hex << address;
    for (uint32_t address : {0x00004000u, 0x0F000000u, IMAGE_END, 0x0DFFFFFCu})
        EXPECT_EQ(code_page(address), CODE_PAGE_CONSTANT) << std::hex << address;
}
#endif

TEST_F(MemoryMapTest, MemoryResetClearsWhatACartridgeLeavesBehind) {
    mem_write32(0x05000010, 0x7FFF7FFF);
    mem_write32(0x06000000, 0x11111111);
    mem_write32(0x06017FFC, 0x22222222);
    mem_write32(0x07000000, 0x33333333);
    mem_write32(0x02000000, 0x44444444);
    mem_write32(0x03000000, 0x55555555);
    mem_write32(0x0E000000, 0x66666666);
    mem_write32(0x04000100, 0x77777777);
    mem_write32(0x040000D4, 0x02000000);
    mem_write32(0x040000D8, 0x03000100);
    mem_write32(0x040000DC, 0x84000001);  // copies one word, leaves count and control
    key_state = 0xFFFE;
    ASSERT_NE(dma3_count, 0u);

    memory_reset();
    for (uint8_t byte : pram) ASSERT_EQ(byte, 0);
    for (uint32_t colour : host_palette) ASSERT_EQ(colour, 0u);
    for (uint32_t offset = 0; offset < 0x18000; offset++) ASSERT_EQ(vram[offset], 0) << offset;
    for (uint8_t byte : oam) ASSERT_EQ(byte, 0);
    EXPECT_EQ(mem_read32(0x0601FFFC), 0u);  // the mirror of what was written
    EXPECT_EQ(dma3_source, 0u);
    EXPECT_EQ(dma3_dest, 0u);
    EXPECT_EQ(dma3_count, 0u);
    EXPECT_EQ(dma3_control, 0u);
    // Kept, as a load keeps them.
    EXPECT_EQ(mem_read32(0x02000000), 0x44444444u);
    EXPECT_EQ(mem_read32(0x03000000), 0x55555555u);
    EXPECT_EQ(mem_read32(0x03000100), 0x44444444u);  // the copy
    EXPECT_EQ(mem_read32(0x0E000000), 0x66666666u);
    EXPECT_EQ(mem_read32(0x04000100), 0x77777777u);
    EXPECT_EQ(key_state, 0xFFFE);
    EXPECT_EQ(mem_read32(0x00000000), bios_image[0]);
}

TEST_F(MemoryMapTest, StartUpReleasesTheButtonsAndEmptiesDma) {
    key_state = 0x0000;
    mem_write32(0x040000D4, 0x02000000);
    console_shutdown();
    console_startup();
    EXPECT_EQ(key_state, 0xFFFF);
    EXPECT_EQ(dma3_source, 0u);
}

}  // namespace
