// The demo cartridge run headless with scripted button presses. What it
// must show is worked out here from its own rules (carts/demo/demo.h, the
// same code the cartridge is built from): one pass a frame, a pixel a
// frame (two with B), Start stepping the scenes once per press, the page
// flip every fifth pass of the plasma, and in mode 3 the whole picture,
// built here pixel by pixel and hashed as quorrant-run hashes it.
#include "carts/demo/demo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cart_runner.h"

namespace {

struct DemoRun {
    CartRun run;
    demo_state state;
    uint16_t disp_cr;
    uint16_t oam[512];
    std::vector<uint8_t> peeked(uint32_t address) const { return run.peeks.at(address); }
};

const std::string OAM_PEEK = "7000000:1024";

DemoRun run_demo(long frames, const std::vector<std::string>& holds,
                 const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--frames",
                                     std::to_string(frames),
                                     "--hash",
                                     "--peek",
                                     "203FF00:" + std::to_string(sizeof(demo_state)),
                                     "--peek",
                                     "4000000:2",
                                     "--peek",
                                     OAM_PEEK};
    for (const std::string& hold : holds) {
        args.push_back("--hold");
        args.push_back(hold);
    }
    args.insert(args.end(), extra.begin(), extra.end());
    DemoRun demo;
    demo.run = run_cart(cart_path("demo"), args);
    std::memset(&demo.state, 0, sizeof demo.state);
    std::memset(demo.oam, 0, sizeof demo.oam);
    demo.disp_cr = 0;
    auto found = demo.run.peeks.find(DEMO_STATE_ADDRESS);
    if (found != demo.run.peeks.end() && found->second.size() == sizeof(demo_state))
        std::memcpy(&demo.state, found->second.data(), sizeof demo.state);
    found = demo.run.peeks.find(0x04000000);
    if (found != demo.run.peeks.end() && found->second.size() == 2)
        demo.disp_cr = uint16_t(found->second[0] | found->second[1] << 8);
    found = demo.run.peeks.find(0x07000000);
    if (found != demo.run.peeks.end() && found->second.size() == 1024)
        std::memcpy(demo.oam, found->second.data(), 1024);
    return demo;
}

// Start-up is over within the first 20 frames; every hold below begins
// later, so the pass of frame F sees exactly the buttons held in frame F.
constexpr long SETTLED = 20;

TEST(DemoCartridge, StartsOnTheTitleAndMakesOnePassPerFrame) {
    DemoRun a = run_demo(SETTLED + 10, {});
    DemoRun b = run_demo(SETTLED + 25, {});
    ASSERT_EQ(a.run.exit_status, 0) << a.run.output;
    EXPECT_EQ(a.state.magic, DEMO_MAGIC);
    EXPECT_GE(a.state.frames, 10u);
    EXPECT_EQ(b.state.frames - a.state.frames, 15u);
    EXPECT_EQ(b.state.angle, (ANGLE_STEP * b.state.frames) & 255);
    EXPECT_EQ(b.state.scene, uint32_t(SCENE_TITLE));
    EXPECT_EQ(b.state.x, PLAYER_START_X);
    EXPECT_EQ(b.state.y, PLAYER_START_Y);
    EXPECT_EQ(b.disp_cr, scene_display[SCENE_TITLE] | DISP_SPRITES);
}

// The title scene shows the count of passes in decimal, in the text tiles
// of the title (22 on, in glyph order), updated every pass and wrapping at a
// million.
TEST(DemoCartridge, TitleShowsThePassCount) {
    EXPECT_EQ(counter_digit(0, 0), '0');
    EXPECT_EQ(counter_digit(1234567, 0), '2');
    EXPECT_EQ(counter_digit(1234567, 5), '7');
    const uint32_t row = 0x06000000 + TILED_MAP_OFFSET + 2 * (32 * COUNTER_ROW + COUNTER_COL);
    char peek[32];
    std::snprintf(peek, sizeof peek, "%x:%d", row, 2 * COUNTER_DIGITS);
    for (long frames : {SETTLED, SETTLED + 7, SETTLED + 123}) {
        SCOPED_TRACE(frames);
        DemoRun demo = run_demo(frames, {}, {"--peek", peek});
        ASSERT_EQ(demo.run.exit_status, 0);
        std::vector<uint8_t> map = demo.peeked(row);
        ASSERT_EQ(map.size(), size_t(2 * COUNTER_DIGITS));
        for (int i = 0; i < COUNTER_DIGITS; i++)
            EXPECT_EQ(map[2 * i] | map[2 * i + 1] << 8,
                      22 + int(glyph_index(counter_digit(demo.state.frames, i))))
                << "digit " << i << " of " << demo.state.frames;
    }
}

TEST(DemoCartridge, DirectionKeysMoveThePlayerAndItsSprite) {
    struct Case {
        std::vector<std::string> holds;
        int32_t x, y;
    } cases[] = {
        {{"RIGHT:30:40"}, 116 + 10, 76},
        {{"LEFT:30:40", "B:30:35"}, 116 - 2 * 5 - 5, 76},
        {{"UP:30:35", "RIGHT:30:35"}, 116 + 5, 76 - 5},
        {{"DOWN:25:125", "B:25:125"}, 116, PLAYER_MAX_Y},  // 76 + 200 stops at 152
        {{"LEFT:25:150"}, 0, 76},                          // 116 - 125 stops at 0
        {{"B:30:60"}, 116, 76},                            // B alone moves nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.holds[0]);
        DemoRun demo = run_demo(155, c.holds);
        EXPECT_EQ(demo.state.x, c.x);
        EXPECT_EQ(demo.state.y, c.y);
        EXPECT_EQ(demo.oam[0], uint16_t(c.y));  // entry 0: attribute 0 is y
        EXPECT_EQ(demo.oam[1], uint16_t(c.x));
        EXPECT_EQ(demo.oam[2], TILE_PLAYER);
    }
}

TEST(DemoCartridge, ButtonsReactOncePerPressOrWhileHeld) {
    struct Case {
        std::vector<std::string> holds;
        uint32_t scene, sprites_on, player_colour, radius;
    } cases[] = {
        {{"START:30:45"}, SCENE_PLASMA, 1, 0, RADIUS_START},  // held 15 frames: one press
        {{"START:30:31", "START:33:34", "START:36:38"}, SCENE_LANDSCAPE, 1, 0, RADIUS_START},
        {{"START:30:31", "START:32:33", "START:34:35", "START:36:37", "START:38:39"},
         SCENE_TITLE,
         1,
         0,
         RADIUS_START},  // five scenes, back to the first
        {{"SELECT:30:31"}, SCENE_TITLE, 0, 0, RADIUS_START},
        {{"SELECT:30:31", "SELECT:35:50"}, SCENE_TITLE, 1, 0, RADIUS_START},
        {{"A:30:31", "A:32:33", "A:40:60"}, SCENE_TITLE, 1, 3, RADIUS_START},
        {{"A:30:31", "A:32:33", "A:34:35", "A:36:37", "A:38:39"}, SCENE_TITLE, 1, 1, RADIUS_START},
        {{"R:30:40"}, SCENE_TITLE, 1, 0, RADIUS_START + 10},
        {{"R:30:60"}, SCENE_TITLE, 1, 0, RADIUS_MAX},
        {{"L:30:40", "R:35:40"}, SCENE_TITLE, 1, 0, RADIUS_START - 10 + 5},
        {{"L:30:60"}, SCENE_TITLE, 1, 0, RADIUS_MIN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.holds[0] + " ... " + c.holds.back());
        DemoRun demo = run_demo(62, c.holds, {"--peek", "5000200:22"});
        EXPECT_EQ(demo.state.scene, c.scene);
        EXPECT_EQ(demo.state.sprites_on, c.sprites_on);
        EXPECT_EQ(demo.state.player_colour, c.player_colour);
        EXPECT_EQ(demo.state.radius, c.radius);
        uint16_t expected = scene_display[c.scene] | (c.sprites_on ? DISP_SPRITES : 0);
        EXPECT_EQ(demo.disp_cr & ~DISP_FRAME_SELECT, expected);
        std::vector<uint8_t> palette = demo.peeked(0x05000200);
        for (uint32_t v = 2; v < 11; v++)
            EXPECT_EQ(palette[2 * v] | palette[2 * v + 1] << 8, object_colour(v, c.player_colour))
                << v;
    }
}

// Entering the plasma on the pass of frame 30 makes that pass the scene's
// first. Pass k (from 1) first flips when the hidden page is complete, so
// flips = (k - 1) / 5, then draws 32 rows of phase flips + 1 into the hidden
// page, starting over at row 0 on passes 1, 6, 11...; row 0 is the first
// thing such a pass writes, well inside the v-blank it starts in.
int phase_at_row0(int page, uint32_t passes) {
    int phase = page == 0 ? 0 : -1;  // page 0 starts with phase 0
    for (uint32_t k = 1; k <= passes; k++) {
        uint32_t flips = (k - 1) / 5;
        int hidden = (flips & 1) ? 0 : 1;
        if ((k - 1) % 5 == 0 && hidden == page) phase = int(flips + 1);
    }
    return phase;
}

TEST(DemoCartridge, PlasmaFlipsPagesEveryFifthPass) {
    for (long last : {30L, 34L, 35L, 39L, 40L, 53L}) {
        SCOPED_TRACE(last);
        DemoRun demo =
            run_demo(last + 1, {"START:30:31"},
                     {"--peek", "600A000:240", "--peek", "6000000:240", "--peek", "5000000:4"});
        uint32_t passes = uint32_t(last - 30 + 1);
        ASSERT_EQ(demo.state.scene, uint32_t(SCENE_PLASMA));
        EXPECT_EQ(demo.state.scene_frames, passes);
        EXPECT_EQ(demo.state.flips, (passes - 1) / 5);
        EXPECT_EQ(demo.disp_cr, scene_display[SCENE_PLASMA] | DISP_SPRITES |
                                    ((demo.state.flips & 1) ? DISP_FRAME_SELECT : 0));
        const uint32_t page_address[2] = {0x06000000, 0x0600A000};
        for (int page = 0; page < 2; page++) {
            int phase = phase_at_row0(page, passes);
            ASSERT_GE(phase, 0);
            std::vector<uint8_t> row = demo.peeked(page_address[page]);
            for (uint32_t x = 0; x < 240; x++)
                ASSERT_EQ(row[x], plasma_value(x, 0, uint32_t(phase))) << page << " " << x;
        }
        // The palette turns one entry a pass: entry v shows hue (v + k).
        std::vector<uint8_t> pram = demo.peeked(0x05000000);
        EXPECT_EQ(pram[0] | pram[1] << 8, hue_colour(passes & 255));
        EXPECT_EQ(pram[2] | pram[3] << 8, hue_colour((passes + 1) & 255));
    }
}

// FNV-1a 64 over the R, G, B bytes of every pixel, row by row, as
// quorrant-run --hash computes it; a console colour's 5-bit fields land in
// the top of each byte.
std::string picture_hash(const std::vector<uint16_t>& picture) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint16_t c : picture) {
        const uint8_t rgb[3] = {uint8_t((c & 31) << 3), uint8_t(((c >> 5) & 31) << 3),
                                uint8_t(((c >> 10) & 31) << 3)};
        for (uint8_t byte : rgb) {
            hash ^= byte;
            hash *= 0x100000001b3ull;
        }
    }
    char text[32];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// The mode 3 scene after a scripted run: the state follows from the holds,
// the sprite table from the state, and the picture from both.
TEST(DemoCartridge, GradientSceneShowsTheExpectedPicture) {
    DemoRun demo =
        run_demo(60, {"START:20:21", "START:24:25", "START:28:29", "START:32:33", "RIGHT:40:52",
                      "DOWN:40:46", "B:40:43", "R:45:50", "A:50:51", "L:58:60"});
    ASSERT_EQ(demo.state.scene, uint32_t(SCENE_GRADIENT));
    EXPECT_EQ(demo.state.x, 116 + 2 * 3 + 9);
    EXPECT_EQ(demo.state.y, 76 + 2 * 3 + 3);
    EXPECT_EQ(demo.state.radius, uint32_t(RADIUS_START + 5 - 2));
    EXPECT_EQ(demo.state.player_colour, 1u);
    EXPECT_EQ(demo.state.keys, uint32_t(0x3FF & ~KEY_L));  // L lit in the last pass

    demo_state s = demo.state;
    uint16_t oam[512];
    for (int n = 0; n < 128; n++) sprite_attributes(&s, n, oam + 4 * n);
    for (int i = 0; i < 512; i += 4) {
        ASSERT_EQ(demo.oam[i], oam[i]) << i / 4;
        ASSERT_EQ(demo.oam[i + 1], oam[i + 1]) << i / 4;
        ASSERT_EQ(demo.oam[i + 2], oam[i + 2]) << i / 4;
    }

    std::vector<uint16_t> picture(240 * 160);
    for (int y = 0; y < 160; y++)
        for (int x = 0; x < 240; x++) picture[240 * y + x] = gradient_pixel(x, y);
    for (int n = 0; n < 128; n++) {
        int top = oam[4 * n] & 0xFF, left = oam[4 * n + 1] & 0xFF;
        for (int r = 0; r < 8; r++)
            for (int c = 0; c < 8; c++) {
                uint8_t v = object_tile_pixel(oam[4 * n + 2], c, r);
                if (v != 0 && left + c < 240 && top + r < 160)
                    picture[240 * (top + r) + left + c] = object_colour(v, s.player_colour);
            }
    }
    EXPECT_EQ(demo.run.frame_hash, picture_hash(picture));
}

}  // namespace
