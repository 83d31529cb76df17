// Every renderer and the sprite pass against a plain reference written
// here from the drawing rules, a pixel at a time with a bounds test on each,
// as the rules read. Video memory holds tile rows that are empty, opaque,
// holed at either end, lit at one end only, or mixed; every pixel of the
// picture starts with a value of its own, so a pixel kept and a pixel drawn
// differ; the picture's rows are 240, 247 or 256 pixels apart and it has
// rows to spare below, so a pixel drawn past the right or bottom edge shows
// in the padding or on the next row.
#include <random>
#include <vector>

#include "video_fixture.h"

namespace {

constexpr int SPARE_ROWS = 103;  // sprites reach y 262
const int PITCHES[] = {240, 247, 256};

// A picture `pitch` pixels a row, as the renderers draw into it or as the
// reference expects it.
struct Picture {
    int pitch;
    std::vector<uint32_t> pixels;
    explicit Picture(int pitch) : pitch(pitch), pixels(pitch * (SCREEN_HEIGHT + SPARE_ROWS)) {
        for (size_t i = 0; i < pixels.size(); i++) pixels[i] = 0x5A000000 | uint32_t(i);
    }
    // Pixels outside the 240 x 160 picture are not part of it.
    void plot(int x, int y, uint32_t colour) {
        if (x >= 0 && x < SCREEN_WIDTH && y >= 0 && y < SCREEN_HEIGHT)
            pixels[y * pitch + x] = colour;
    }
};

uint16_t vram_half(uint32_t offset) { return uint16_t(vram[offset] | vram[offset + 1] << 8); }

// The shapes a tile row is given; a lit pixel holds a non-zero value.
enum Shape { EMPTY, OPAQUE, HOLE_FIRST, HOLE_LAST, ONLY_FIRST, ONLY_LAST, MIXED, SHAPES };

bool lit(Shape shape, int j, std::mt19937& random) {
    switch (shape) {
        case EMPTY: return false;
        case OPAQUE: return true;
        case HOLE_FIRST: return j != 0;
        case HOLE_LAST: return j != 7;
        case ONLY_FIRST: return j == 0;
        case ONLY_LAST: return j == 7;
        default: return random() % 2 == 0;
    }
}

// Fills `length` bytes from `offset` with rows of eight one-byte pixels.
void fill_rows_8bit(uint32_t offset, uint32_t length, std::mt19937& random) {
    for (uint32_t row = offset; row < offset + length; row += 8) {
        Shape shape = Shape(random() % SHAPES);
        for (int j = 0; j < 8; j++) vram[row + j] = lit(shape, j, random) ? 1 + random() % 255 : 0;
    }
}

// Fills `length` bytes from `offset` with rows of eight 4-bit pixels, four
// bytes a row, pixel j in the low nibble of byte j / 2 when j is even.
void fill_rows_4bit(uint32_t offset, uint32_t length, std::mt19937& random) {
    for (uint32_t row = offset; row < offset + length; row += 4) {
        Shape shape = Shape(random() % SHAPES);
        for (int j = 0; j < 8; j++) {
            uint8_t nibble = lit(shape, j, random) ? 1 + random() % 15 : 0;
            if (j % 2 == 0)
                vram[row + j / 2] = nibble;
            else
                vram[row + j / 2] |= uint8_t(nibble << 4);
        }
    }
}

// Twenty map rows of `entries` random entries from `offset`, `bytes` wide,
// entry 30 (x 240-247, outside the picture) naming tile `opaque_tile`,
// which the caller makes opaque.
void fill_map(uint32_t offset, int entries, int bytes, uint16_t opaque_tile, std::mt19937& random) {
    for (int row = 0; row < 20; row++)
        for (int i = 0; i < entries; i++) {
            uint16_t entry = i == 30 ? opaque_tile | 0x5000 : uint16_t(random());
            uint32_t at = offset + (row * entries + i) * bytes;
            vram[at] = uint8_t(entry);
            if (bytes == 2) vram[at + 1] = uint8_t(entry >> 8);
        }
}

// The rules, a line at a time.

// BG0_CR 0xE1C7: character base 1 (0x4000), map base 1 (0x800), every
// bit the renderer ignores set.
constexpr uint16_t MODE0_CONTROL = 0xE1C7;
void prepare_mode0(std::mt19937& random) {
    io_write16(BG0_CR, MODE0_CONTROL);
    fill_rows_8bit(0x4000, 0x10000, random);
    std::memset(vram + 0x4000 + 64 * 1023, 0x2C, 64);
    fill_map(0x800, 32, 2, 1023, random);
}
void reference_mode0(Picture& picture, int line) {
    for (int i = 0; i < 31; i++) {
        uint32_t tile = vram_half(0x800 + 2 * (32 * (line / 8) + i)) & 0x3FF;
        for (int j = 0; j < 8; j++) {
            uint8_t v = vram[0x4000 + 64 * tile + 8 * (line % 8) + j];
            if (v != 0) picture.plot(8 * i + j, line, mark(v));
        }
    }
}

// BG0_CR 0x63CB: character base 2 (0x8000), map base 3 (0x1800).
void prepare_mode1(std::mt19937& random) {
    io_write16(BG0_CR, 0x63CB);
    fill_rows_4bit(0x8000, 0x8000, random);
    std::memset(vram + 0x8000 + 32 * 1023, 0x77, 32);
    fill_map(0x1800, 32, 2, 1023, random);
}
void reference_mode1(Picture& picture, int line) {
    for (int i = 0; i < 31; i++) {
        uint16_t entry = vram_half(0x1800 + 2 * (32 * (line / 8) + i));
        uint32_t tile = entry & 0x3FF, bank = entry >> 12;
        for (int j = 0; j < 8; j++) {
            uint8_t byte = vram[0x8000 + 32 * tile + 4 * (line % 8) + j / 2];
            uint8_t n = j % 2 == 0 ? byte & 0xF : byte >> 4;
            if (n != 0) picture.plot(8 * i + j, line, mark(16 * bank + n));
        }
    }
}

// BG2_CR 0xE2CF: character base 3 (0xC000), map base 2 (0x1000).
void prepare_mode2(std::mt19937& random) {
    io_write16(BG2_CR, 0xE2CF);
    fill_rows_8bit(0xC000, 0x4000, random);
    std::memset(vram + 0xC000 + 64 * 255, 0x2D, 64);
    fill_map(0x1000, 64, 1, 255, random);
}
void reference_mode2(Picture& picture, int line) {
    for (int i = 0; i < 30; i++) {
        uint32_t tile = vram[0x1000 + 64 * (line / 8) + i];
        for (int j = 0; j < 8; j++) {
            uint8_t v = vram[0xC000 + 64 * tile + 8 * (line % 8) + j];
            if (v != 0) picture.plot(8 * i + j, line, mark(v));
        }
    }
}

void prepare_bitmap(std::mt19937& random) {
    for (uint32_t i = 0; i < 0x14000; i++) vram[i] = uint8_t(random() % 3 == 0 ? 0 : random());
}
void prepare_mode3(std::mt19937& random) { prepare_bitmap(random); }
void reference_mode3(Picture& picture, int line) {
    for (int x = 0; x < 240; x++) {
        uint32_t c = vram_half(2 * (240 * line + x));
        uint32_t red = c & 0x1F, green = (c >> 5) & 0x1F, blue = (c >> 10) & 0x1F;
        uint32_t spill = (c >> 5) & 0xFF;  // c << 19 carries bits 5-12 to 24-31
        picture.plot(x, line, spill << 24 | red << 19 | green << 11 | blue << 3);
    }
}

void prepare_mode4_front(std::mt19937& random) {
    prepare_bitmap(random);
    io_write16(DISP_CR, 0x0004);
}
void prepare_mode4_back(std::mt19937& random) {
    prepare_bitmap(random);
    io_write16(DISP_CR, 0x0014);
}
void reference_mode4(Picture& picture, int line) {
    uint32_t frame = (io_read16(DISP_CR) & 0x10) ? 0xA000 : 0;
    for (int x = 0; x < 240; x++) picture.plot(x, line, mark(vram[frame + 240 * line + x]));
}

struct RendererCase {
    const char* name;
    LineRenderer renderer;
    void (*prepare)(std::mt19937&);
    void (*reference)(Picture&, int line);
    bool transparent_zero;
};

const RendererCase RENDERER_CASES[] = {
    {"mode 0", render_mode0, prepare_mode0, reference_mode0, true},
    {"mode 1", render_mode1, prepare_mode1, reference_mode1, true},
    {"mode 2", render_mode2, prepare_mode2, reference_mode2, true},
    {"mode 3", render_mode3, prepare_mode3, reference_mode3, false},
    {"mode 4, frame 0", render_mode4, prepare_mode4_front, reference_mode4, false},
    {"mode 4, frame 1", render_mode4, prepare_mode4_back, reference_mode4, false},
};

class ReferenceTest : public VideoTest {
   protected:
    void SetUp() override {
        VideoTest::SetUp();
        mark_palette();
    }
    void TearDown() override {
        screen.pixels = test_picture;
        screen.pitch = SCREEN_WIDTH * 4;
        VideoTest::TearDown();
    }
    static void lend(Picture& picture) {
        screen.pixels = picture.pixels.data();
        screen.pitch = uint32_t(picture.pitch) * 4;
    }
    static void expect_same(const Picture& drawn, const Picture& expected) {
        int mismatches = 0;
        for (size_t i = 0; i < drawn.pixels.size() && mismatches < 10; i++)
            if (drawn.pixels[i] != expected.pixels[i]) {
                ADD_FAILURE() << "pixel " << i % drawn.pitch << "," << i / drawn.pitch << ": drawn "
                              << std::hex << drawn.pixels[i] << ", expected " << expected.pixels[i];
                mismatches++;
            }
    }
};

// A whole frame, line by line, at each pitch and with three fillings of
// video memory. In the tiled modes x 0, 7 and 232-239 must each have met
// both a drawn and a transparent pixel, so every edge case of a tile row
// was there to get wrong.
TEST_F(ReferenceTest, EveryModeDrawsExactlyThePixelsOfItsRules) {
    const int watched[] = {0, 7, 232, 233, 234, 235, 236, 237, 238, 239};
    for (const RendererCase& c : RENDERER_CASES)
        for (int pitch : PITCHES)
            for (unsigned seed = 1; seed <= 3; seed++) {
                SCOPED_TRACE(testing::Message()
                             << c.name << ", pitch " << pitch << ", seed " << seed);
                std::mt19937 random(seed);
                c.prepare(random);
                Picture drawn(pitch), expected(pitch);
                int opaque_seen[240] = {}, transparent_seen[240] = {};
                lend(drawn);
                mode0_line_counter = mode1_line_counter = mode2_line_counter = 0;
                mode3_line_counter = mode4_line_counter = 0;
                for (int line = 0; line < SCREEN_HEIGHT; line++) {
                    uint32_t* row = expected.pixels.data() + line * pitch;
                    uint32_t before[240];
                    std::memcpy(before, row, sizeof before);
                    c.reference(expected, line);
                    for (int x : watched)
                        (row[x] == before[x] ? transparent_seen : opaque_seen)[x]++;
                    c.renderer();
                }
                expect_same(drawn, expected);
                if (c.transparent_zero)
                    for (int x : watched) {
                        EXPECT_GT(opaque_seen[x], 0) << "x " << x;
                        EXPECT_GT(transparent_seen[x], 0) << "x " << x;
                    }
            }
}

// Sprites at and past the right and bottom edges, overlapping, with tiles
// of every row shape, against the rules drawn pixel by pixel.
TEST_F(ReferenceTest, SpritesDrawExactlyThePixelsOfTheRules) {
    const int xs[] = {0, 1, 7, 100, 231, 232, 233, 236, 239, 240, 241, 247, 250, 255};
    const int ys[] = {0, 1, 7, 80, 151, 152, 153, 156, 159, 160, 161, 167, 200, 255};
    for (int pitch : PITCHES)
        for (unsigned seed = 1; seed <= 4; seed++) {
            SCOPED_TRACE(testing::Message() << "pitch " << pitch << ", seed " << seed);
            std::mt19937 random(seed);
            fill_rows_8bit(0x10000, 0x8000, random);
            for (int n = 0; n < 128; n++) {
                // Bits above x and y and above the tile number are ignored.
                uint16_t attrs[3] = {uint16_t((random() & 0xFF00) | ys[random() % 14]),
                                     uint16_t((random() & 0xFF00) | xs[random() % 14]),
                                     uint16_t(random())};
                for (int i = 0; i < 3; i++) {
                    oam[8 * n + 2 * i] = uint8_t(attrs[i]);
                    oam[8 * n + 2 * i + 1] = uint8_t(attrs[i] >> 8);
                }
            }
            Picture drawn(pitch), expected(pitch);
            for (int n = 0; n < 128; n++) {
                int y = oam[8 * n], x = oam[8 * n + 2];
                uint32_t tile = (oam[8 * n + 4] | oam[8 * n + 5] << 8) & 0x1FF;
                for (int r = 0; r < 8; r++)
                    for (int c = 0; c < 8; c++) {
                        uint8_t v = vram[0x10000 + 64 * tile + 8 * r + c];
                        if (v != 0) expected.plot(x + c, y + r, mark(256 + v));
                    }
            }
            lend(drawn);
            draw_sprites();
            expect_same(drawn, expected);
        }
}

}  // namespace
