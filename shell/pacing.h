// Frames at the console's rate for the window: 280,896 cycles a frame at
// 2^24 Hz (16.78 MHz), 59.73 frames a second. Deadlines are counted from an
// origin in whole frames and computed exactly each time, so that no
// rounding adds up to drift; a loop that falls more than a few frames
// behind starts again from now instead of racing to catch up.
#pragma once

#include <cstdint>

// One frame is 16,742,706 + 306/1024 ns exactly.
constexpr int64_t FRAME_PERIOD_NS = 16742706;
constexpr int64_t FRAME_PERIOD_EXTRA_NS_1024THS = 306;
constexpr double CONSOLE_FRAMES_PER_SECOND = 16777216.0 / 280896.0;  // 59.7275...
// Later than this many periods, the schedule starts again from now.
constexpr int64_t FRAMES_LATE_LIMIT = 3;

struct Pacer {
    int64_t origin_ns;  // when frame 0 of the current schedule was due
    int64_t frames;     // frames paced since then
};
extern Pacer pacer;

// The time on the host's monotonic clock, in nanoseconds.
int64_t monotonic_ns();

// When frame `frames` of a schedule starting at origin_ns is due.
int64_t frame_deadline(int64_t origin_ns, int64_t frames);

// A new schedule whose next frame is due at now.
void pacer_restart(int64_t now_ns);

// After a frame: moves the schedule on by one frame and returns when the
// next frame is due (in the past when the loop is a little late; now when
// it was too late and the schedule started again).
int64_t pacer_next_deadline(int64_t now_ns);

// Sleeps until the monotonic clock reaches deadline_ns.
void sleep_until(int64_t deadline_ns);
