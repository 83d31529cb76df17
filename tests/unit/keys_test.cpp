// The button keys, the function keys and the one-event-per-frame loop.
#include <deque>

#include "console_fixture.h"

namespace {

struct KeyCase {
    int key_symbol;
    uint16_t mask;
};

// clang-format off
const KeyCase button_keys[] = {
    {'x', 0x0001}, {'z', 0x0002}, {'s', 0x0004}, {'a', 0x0008}, {275, 0x0010},
    {276, 0x0020}, {273, 0x0040}, {274, 0x0080}, {'w', 0x0100}, {'q', 0x0200},
};
// clang-format on

class KeysTest : public ConsoleTest {};

TEST_F(KeysTest, EachButtonKeyClearsAndSetsItsOwnBit) {
    for (const KeyCase& key : button_keys) {
        SCOPED_TRACE(key.key_symbol);
        EXPECT_TRUE(handle_event({EVENT_KEY_DOWN, key.key_symbol}));
        EXPECT_EQ(key_state, uint16_t(0xFFFF & ~key.mask));
        EXPECT_EQ(mem_read16(0x04000130), uint32_t(0xFFFF & ~key.mask));
        EXPECT_TRUE(handle_event({EVENT_KEY_UP, key.key_symbol}));
        EXPECT_EQ(key_state, 0xFFFF);
    }
}

TEST_F(KeysTest, HeldKeysCombineAndOtherKeysAreIgnored) {
    handle_event({EVENT_KEY_DOWN, 'x'});
    handle_event({EVENT_KEY_DOWN, 'z'});
    EXPECT_EQ(key_state, 0xFFFC);
    handle_event({EVENT_KEY_UP, 'q'});  // never pressed
    handle_event({EVENT_KEY_DOWN, 'X'});  // upper-case symbol is no button
    handle_event({EVENT_KEY_DOWN, 'p'});
    handle_event({7, 'a'});  // other event types
    EXPECT_EQ(key_state, 0xFFFC);
}

TEST_F(KeysTest, FunctionKeys) {
    EXPECT_FALSE(handle_event({EVENT_KEY_DOWN, KEY_F12}));
    EXPECT_FALSE(handle_event({EVENT_QUIT, 0}));
    EXPECT_TRUE(handle_event({EVENT_KEY_UP, KEY_F12}));  // key-up of a function key: nothing
    cpu_step = thumb_step;
    handle_event({EVENT_KEY_DOWN, KEY_F5});
    EXPECT_EQ(cpu_step, thumb_step);  // no method switch in Thumb state
    handle_event({EVENT_KEY_DOWN, KEY_F6});
    EXPECT_EQ(cpu_step, thumb_step);
}

std::deque<ShellEvent> queued;
int frames_run = 0;
ShellEvent take_queued() {
    if (queued.empty()) return {EVENT_NONE, 0};
    ShellEvent event = queued.front();
    queued.pop_front();
    return event;
}
void count_frame() { frames_run++; }
uint32_t idle_step() { return 1000; }

TEST_F(KeysTest, OneEventIsTakenPerFrame) {
    queued = {{EVENT_KEY_DOWN, 'x'}, {EVENT_KEY_DOWN, 'z'}, {EVENT_KEY_DOWN, 's'}};
    frames_run = 0;
    cpu_step = idle_step;
    const uint16_t after_each_frame[] = {0xFFFE, 0xFFFC, 0xFFF8, 0xFFF8};
    for (uint16_t expected : after_each_frame) {
        ASSERT_TRUE(main_loop_iteration(take_queued, count_frame));
        EXPECT_EQ(key_state, expected);
    }
    EXPECT_EQ(frames_run, 4);
    queued = {{EVENT_QUIT, 0}};
    EXPECT_FALSE(main_loop_iteration(take_queued, count_frame));
    EXPECT_EQ(frames_run, 4);  // no frame after the close request
}

}  // namespace
