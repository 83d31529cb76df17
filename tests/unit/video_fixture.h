// A console for the picture tests: the line counters at 0, a picture filled
// with a value no renderer writes, and a palette whose host colours are
// marks that name their entry, so an expected pixel reads as "entry v".
#pragma once

#include <cstring>

#include "console_fixture.h"

// A host colour no palette mark and no converted colour in these tests has.
constexpr uint32_t UNTOUCHED = 0x5A5A5A5A;

// The host colour the tests put in palette entry v (0..511).
constexpr uint32_t mark(uint32_t entry) { return 0xC0000000 | entry; }

class VideoTest : public ConsoleTest {
   protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        mode0_line_counter = mode1_line_counter = mode2_line_counter = 0;
        mode3_line_counter = mode4_line_counter = 0;
        fill_picture(UNTOUCHED);
    }

    static void fill_picture(uint32_t value) {
        for (uint32_t& pixel : test_picture) pixel = value;
    }
    static uint32_t pixel(int x, int y) { return test_picture[y * SCREEN_WIDTH + x]; }

    // host_palette[v] = mark(v), set directly: the tiled and sprite tests
    // are about which entry a pixel picks, not about colour conversion.
    static void mark_palette() {
        for (uint32_t v = 0; v < PALETTE_ENTRIES; v++) host_palette[v] = mark(v);
    }

    static void vram8(uint32_t offset, uint8_t value) { vram[offset] = value; }
    static void vram16(uint32_t offset, uint16_t value) {
        vram[offset] = uint8_t(value);
        vram[offset + 1] = uint8_t(value >> 8);
    }
    static void fill_vram(uint32_t offset, uint32_t length, uint8_t value) {
        std::memset(vram + offset, value, length);
    }

    static void draw_lines(LineRenderer renderer, int count) {
        for (int i = 0; i < count; i++) renderer();
    }
};
