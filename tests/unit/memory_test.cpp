// The bus: each region's widths, mirrors and limits, alignment, region 15,
// the button register, palette upkeep, DMA3 and the BIOS image.
#include "console_fixture.h"

namespace {

class BusTest : public ConsoleTest {};

struct RoundTrip {
    const char* name;
    uint32_t address;  // where the word is written
    uint32_t mirror;   // another address that must show the same bytes
};

TEST_F(BusTest, RegionsStoreAtAllWidthsAndMirrorWhereTheConsoleMirrors) {
    const RoundTrip cases[] = {
        {"wram", 0x02000100, 0x02040100},     // 256 KB mirror
        {"wram top", 0x0203FFFC, 0x02FFFFFC},
        {"iram", 0x03000010, 0x03008010},     // 32 KB mirror
        {"iram top", 0x03007FFC, 0x03FFFFFC},
        {"pram", 0x05000004, 0x05000404},     // 1 KB mirror
        {"vram", 0x06000020, 0x06020020},     // 128 KB mirror
        {"vram objects", 0x06010000, 0x06018000},  // 0x18000 shows 0x10000
        {"vram last", 0x06017FFC, 0x0601FFFC},
        {"oam", 0x07000008, 0x07000408},      // 1 KB mirror
        {"rom", 0x08000100, 0x0C000100},      // every rom region
        {"rom 0x09", 0x08000200, 0x09000200},
        {"cart ram", 0x0E000010, 0x0E000010},
        {"io", 0x04000200, 0x04000200},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.name);
        mem_write32(c.address, 0x11223344);
        EXPECT_EQ(mem_read32(c.mirror), 0x11223344u);
        EXPECT_EQ(mem_read16(c.mirror + 2), 0x1122u);
        EXPECT_EQ(mem_read8(c.mirror + 1), 0x33u);
        mem_write16(c.mirror + 2, 0xBEEF);
        mem_write8(c.address, 0x99);
        EXPECT_EQ(mem_read32(c.address), 0xBEEF3399u);
    }
}

TEST_F(BusTest, WideAccessesIgnoreTheLowAddressBits) {
    mem_write32(0x02000003, 0xAABBCCDD);  // lands at 0x02000000
    EXPECT_EQ(mem_read32(0x02000000), 0xAABBCCDDu);
    EXPECT_EQ(mem_read32(0x02000001), 0xAABBCCDDu);
    EXPECT_EQ(mem_read16(0x02000003), 0xAABBu);
    mem_write16(0x02000001, 0x1234);  // lands at 0x02000000
    EXPECT_EQ(mem_read32(0x02000000), 0xAABB1234u);
    EXPECT_EQ(mem_read8(0x02000004), 0u);
}

TEST_F(BusTest, OffsetsPastAnArrayReadZeroAndIgnoreWrites) {
    const uint32_t outside[] = {0x04000600, 0x04FFFFFC, 0x0E000280, 0x0EFFFFFC,
                                0x08000000 + uint32_t(ROM_MIN_SIZE), 0x08FFFFFC, 0x00004000};
    for (uint32_t address : outside) {
        SCOPED_TRACE(address);
        mem_write32(address, 0xFFFFFFFF);
        mem_write16(address, 0xFFFF);
        mem_write8(address, 0xFF);
        EXPECT_EQ(mem_read32(address), 0u);
        EXPECT_EQ(mem_read16(address), 0u);
        EXPECT_EQ(mem_read8(address), 0u);
        EXPECT_EQ(fetch_word(address), 0u);
    }
}

TEST_F(BusTest, RegionFifteenHasFixedValues) {
    mem_write32(0x0F000000, 0x12345678);
    EXPECT_EQ(mem_read32(0x0F000000), 0xFFu);
    EXPECT_EQ(mem_read16(0x0F001234), 0xFFu);
    EXPECT_EQ(mem_read8(0x0FFFFFFF), 0u);
    EXPECT_EQ(fetch_word(0x0F000000), 0u);
    EXPECT_EQ(mem_read8(0x1A000000), mem_read8(0x0A000000));  // bits 28-31 ignored
}

TEST_F(BusTest, BiosTakesOnlyWordWrites) {
    EXPECT_EQ(mem_read32(0x00000000), 0xEA000015u);
    EXPECT_EQ(mem_read32(0x01000090), 0x00000084u);
    mem_write16(0x00000000, 0);
    mem_write8(0x00000000, 0);
    EXPECT_EQ(mem_read32(0x00000000), 0xEA000015u);
    for (uint32_t i = 0; i < BIOS_WORDS; i++) EXPECT_EQ(mem_read32(4 * i), bios_image[i]);
    for (uint32_t offset = 0x94; offset < BIOS_SIZE; offset += 4) ASSERT_EQ(mem_read32(offset), 0u);
    EXPECT_EQ(mem_read32(0x84), 0x7473654Bu);  // "Kest" in address order
    EXPECT_EQ(mem_read8(0x84), uint32_t('K'));
}

TEST_F(BusTest, ButtonRegisterAnswersSixteenBitReadsOnly) {
    key_state = 0xFFFC;
    mem_write32(0x04000130, 0x00005A5A);
    EXPECT_EQ(mem_read16(0x04000130), 0xFFFCu);
    EXPECT_EQ(mem_read16(0x04001130), 0xFFFCu);  // low 12 bits decide
    EXPECT_EQ(mem_read32(0x04000130), 0x00005A5Au);
    EXPECT_EQ(mem_read8(0x04000130), 0x5Au);
}

TEST_F(BusTest, PaletteWritesKeepHostColoursInStep) {
    mem_write32(0x05000000, 0x7FFF001F);
    EXPECT_EQ(host_palette[0], 0x00F80000u);
    EXPECT_EQ(host_palette[1], 0xFFF8F8F8u);
    mem_write8(0x05000003, 0x7C);
    EXPECT_EQ(host_palette[1], 0xE7F838F8u);  // colour 0x7CFF
    mem_write16(0x050003FE, 0x03E0);          // last object entry
    EXPECT_EQ(host_palette[511], to_host_colour(0x03E0));
    mem_write16(0x05000402, 0x7C00);          // mirror of entry 1
    EXPECT_EQ(host_palette[1], to_host_colour(0x7C00));
    for (uint32_t i = 0; i < PALETTE_ENTRIES; i++)
        ASSERT_EQ(host_palette[i], to_host_colour(mem_read16(0x05000000 + 2 * i)));
}

TEST_F(BusTest, Dma3CopiesHalfwordsWhenCountIsWritten) {
    for (uint32_t i = 0; i < 32; i++) mem_write8(0x02000000 + i, i + 1);
    struct Case {
        uint32_t control;
        uint32_t count;
        uint32_t bytes;
    } cases[] = {{0x8400, 4, 16}, {0x8000, 4, 8}, {0x0000, 3, 6}, {0x8400, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        std::memset(iram, 0, 64);
        mem_write32(0x040000D4, 0x02000000);
        mem_write32(0x040000D8, 0x03000000);
        mem_write32(0x040000DC, c.control << 16 | c.count);
        for (uint32_t i = 0; i < 32; i++) EXPECT_EQ(iram[i], i < c.bytes ? i + 1 : 0) << i;
    }
}

TEST_F(BusTest, Dma3RepeatsTheSameRangeAndFeedsThePalette) {
    mem_write32(0x02000000, 0x7FFF001F);
    mem_write32(0x040000D4, 0x02000000);
    mem_write32(0x040000D8, 0x05000000);
    mem_write32(0x040000DC, 0x80000002);
    EXPECT_EQ(host_palette[1], 0xFFF8F8F8u);
    mem_write32(0x02000000, 0);
    mem_write32(0x040000DC, 0x80000002);  // same range again
    EXPECT_EQ(host_palette[1], 0u);
    EXPECT_EQ(dma3_source, 0x02000000u);  // nothing advanced
    EXPECT_EQ(dma3_dest, 0x05000000u);
}

TEST_F(BusTest, Dma3RegisterWritesByWidth) {
    mem_write16(0x040000D4, 0x1234);  // halfword alone becomes the source
    EXPECT_EQ(dma3_source, 0x1234u);
    mem_write16(0x040000D6, 0x0800);  // upper half: no DMA3 value changes
    EXPECT_EQ(dma3_source, 0x1234u);
    mem_write16(0x040000DE, 0x8400);  // control only, no copy
    EXPECT_EQ(dma3_control, 0x8400u);
    mem_write16(0x040000DC, 0);       // count, control reset to 0
    EXPECT_EQ(dma3_control, 0u);
    mem_write32(0x040001D8, 0x06000000);  // low 8 bits decide
    EXPECT_EQ(dma3_dest, 0x06000000u);
}

TEST_F(BusTest, FetchReadsTheArraysWithoutTheBus) {
    mem_write32(0x08000000, 0xE3A00001);
    EXPECT_EQ(fetch_word(0x08000000), 0xE3A00001u);
    EXPECT_EQ(fetch_word(0x0C000002), 0xE3A00001u);  // bit 1 ignored, same image
    mem_write32(0x06010004, 0xCAFEF00D);
    EXPECT_EQ(fetch_word(0x06018004), 0xCAFEF00Du);
    EXPECT_EQ(fetch_word(0x03FFFFFC), mem_read32(0x03007FFC));
}

TEST_F(BusTest, StartUpLeavesEverythingButTheBiosZero) {
    for (uint8_t byte : wram) ASSERT_EQ(byte, 0);
    for (uint8_t byte : iram) ASSERT_EQ(byte, 0);
    for (uint8_t byte : vram) ASSERT_EQ(byte, 0);
    for (uint8_t byte : cart_ram) ASSERT_EQ(byte, 0);
}

TEST_F(BusTest, NoImageMeansEmptyFetchesAndZeroReads) {
    install_rom(nullptr, 0);
    build_region_base();
    EXPECT_EQ(fetch_word(0x08000000), 0u);
    EXPECT_EQ(mem_read32(0x08000000), 0u);
    mem_write32(0x08000000, 1);  // ignored, nothing to write into
}

}  // namespace
