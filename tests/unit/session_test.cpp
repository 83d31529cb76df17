// What the window's keys do to the session (pause, frame advance,
// fast-forward, restart, screenshot), the pacing schedule and the title.
#include <deque>

#include "console_fixture.h"
#include "dynarec/dynarec.h"
#include "shell/pacing.h"
#include "shell/title.h"

namespace {

std::deque<ShellEvent> queued;
int frames_locked = 0;
ShellEvent take_queued() {
    if (queued.empty()) return {EVENT_NONE, 0};
    ShellEvent event = queued.front();
    queued.pop_front();
    return event;
}
void count_frame() { frames_locked++; }
void idle_run(uint32_t, uint32_t) {}

class SessionTest : public ConsoleTest {
   protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        queued.clear();
        frames_locked = 0;
    }
    // Runs one iteration per entry of `keys` (0: no event) and returns the
    // frames run after each.
    std::vector<int> iterate(const std::vector<int>& keys) {
        std::vector<int> frames;
        for (int key : keys) {
            if (key) queued.push_back({EVENT_KEY_DOWN, key});
            EXPECT_TRUE(main_loop_iteration(take_queued, count_frame));
            frames.push_back(frames_locked);
        }
        return frames;
    }
};

TEST_F(SessionTest, PauseStopsFramesAndFrameAdvanceRunsExactlyOne) {
    processor_run = idle_run;
    // run, P, paused x2, N, paused, N N, P, run
    std::vector<int> frames = iterate({0, KEY_P, 0, 0, KEY_N, 0, KEY_N, KEY_N, KEY_P, 0});
    EXPECT_EQ(frames, (std::vector<int>{1, 1, 1, 1, 2, 2, 3, 4, 5, 6}));
    EXPECT_EQ(session.frames_run, 6u);
    // N while running does nothing more than run the frame it would anyway,
    // and leaves nothing pending for a later pause.
    frames_locked = 0;
    EXPECT_EQ(iterate({KEY_N, KEY_P, 0}), (std::vector<int>{1, 1, 1}));
}

TEST_F(SessionTest, TabFastForwardsWhileHeld) {
    handle_event({EVENT_KEY_DOWN, KEY_TAB});
    EXPECT_TRUE(session.fast_forward);
    EXPECT_EQ(key_state, 0xFFFF);  // no button
    handle_event({EVENT_KEY_UP, KEY_TAB});
    EXPECT_FALSE(session.fast_forward);
}

// F2 restarts the cartridge as a load does, but under the method in use,
// which the title names whatever the instruction set.
TEST_F(SessionTest, RestartKeepsTheMethod) {
    struct Case {
        Method method;
        bool thumb;
        const char* title_method;
    } cases[] = {
        {Method::Interpretative, false, "Interpretative"},
        {Method::Dynarec, false, "Dynarec"},
        {Method::Dynarec, true, "Dynarec"},
    };
    for (const Case& c : cases) {
        if (c.method == Method::Dynarec && !dynarec_available()) continue;
        test_picture[7] = 0xFFFFFF;
        cpu_method = c.method;
        if (c.thumb) cpu_cpsr |= CPSR_T;
        cpu_regs[15] = 0x08000400;
        EXPECT_STREQ(method_name(), c.title_method);
        handle_event({EVENT_KEY_DOWN, KEY_F2});
        EXPECT_EQ(cpu_method, c.method);
        EXPECT_FALSE(in_thumb_state());
        EXPECT_EQ(cpu_regs[15], 0x08000008u);
        EXPECT_EQ(test_picture[7], 0u);
        EXPECT_STREQ(method_name(), c.title_method);
    }
}

int screenshots = 0;
TEST_F(SessionTest, ScreenshotKeyCallsTheFrontEnd) {
    handle_event({EVENT_KEY_DOWN, KEY_F3});  // no front end: nothing
    front_end.save_screenshot = [] { screenshots++; };
    handle_event({EVENT_KEY_DOWN, KEY_F3});
    handle_event({EVENT_KEY_UP, KEY_F3});
    EXPECT_EQ(screenshots, 1);
}

// The schedule: frame n of a schedule is due n x 280896 / 2^24 seconds
// after its origin, to the nanosecond, however long it runs.
TEST(Pacing, DeadlinesFollowTheConsoleRateWithoutDrift) {
    const int64_t frames[] = {0, 1, 2, 1024, 59, 60 * 60 * 60, 60LL * 60 * 60 * 24 * 365};
    for (int64_t n : frames) {
        SCOPED_TRACE(n);
        // n x 280896 x 10^9 / 2^24 = n x 16742706.298828125 ns
        int64_t whole = n * 16742706, parts = n * 298828125LL / 1000000000LL;
        EXPECT_EQ(frame_deadline(1000, n), 1000 + whole + parts);
    }
    EXPECT_NEAR(1e9 / double(frame_deadline(0, 1)), 59.7275, 0.0001);
}

TEST(Pacing, ALateLoopStartsAgainRatherThanCatchingUp) {
    const int64_t origin = 5'000'000'000;
    pacer_restart(origin);
    // On time and a little late: the next deadline is the schedule's.
    EXPECT_EQ(pacer_next_deadline(origin + 1000), frame_deadline(origin, 1));
    EXPECT_EQ(pacer_next_deadline(frame_deadline(origin, 2) + 2 * FRAME_PERIOD_NS),
              frame_deadline(origin, 2));
    // More than three frames late: from now on, no burst of frames.
    int64_t late = frame_deadline(origin, 3) + 4 * FRAME_PERIOD_NS;
    EXPECT_EQ(pacer_next_deadline(late), late);
    EXPECT_EQ(pacer_next_deadline(late + 10), frame_deadline(late, 1));
}

TEST(Title, NamesTheImageTheMethodAndTheSpeed) {
    struct Case {
        const char* path;
        const char* method;
        bool paused;
        double speed;
        const char* title;
    } cases[] = {
        {"carts/demo/demo.gba", "Dynarec", false, 1.0, "Quorrant - demo.gba - Dynarec - 1.0x"},
        {"/tmp/a b/game.gba", "Interpretative", false, 14.83,
         "Quorrant - game.gba - Interpretative - 14.8x"},
        {"demo.gba", "Dynarec", true, 1.0, "Quorrant - demo.gba - Dynarec - paused"},
        {"demo.gba", "Interpretative", false, 0, "Quorrant - demo.gba - Interpretative"},
        {"", "Interpretative", false, 0.999, "Quorrant - Interpretative - 1.0x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(window_title(c.path, c.method, c.paused, c.speed), c.title);
}

TEST(Title, SpeedIsFramesAgainstTheConsoleRateEveryHalfSecond) {
    speed_meter = {0, 0, 0};
    speed_meter_restart(1'000'000'000, 100);
    speed_meter_update(1'400'000'000, 130);  // too soon: no figure yet
    EXPECT_EQ(speed_meter.speed, 0);
    // 150 frames in a second is 150 / 59.7275 = 2.51 times the console.
    speed_meter_update(2'000'000'000, 250);
    EXPECT_NEAR(speed_meter.speed, 150 / CONSOLE_FRAMES_PER_SECOND, 1e-9);
    speed_meter_update(2'500'000'000, 250 + 30);  // 60 a second: 1.0x
    EXPECT_NEAR(speed_meter.speed, 60 / CONSOLE_FRAMES_PER_SECOND, 1e-9);
}

}  // namespace
