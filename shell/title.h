// The window's title: "Quorrant", the image's file name, the method, and
// the speed as a multiple of the console's while running ("paused" while
// paused), for instance "Quorrant - demo.gba - Dynarec - 1.0x".
#pragma once

#include <cstdint>
#include <string>

// The speed is measured over this long and the figure refreshed as often.
constexpr int64_t SPEED_SAMPLE_NS = 500000000;

// Frames counted over the current sample; `speed` is the last figure (0
// before the first).
struct SpeedMeter {
    int64_t since_ns;
    uint64_t frames_at_since;
    double speed;
};
extern SpeedMeter speed_meter;

// Starts a new sample at now (after a pause, say), keeping the last figure.
void speed_meter_restart(int64_t now_ns, uint64_t frames_run);

// Ends the sample once it has lasted SPEED_SAMPLE_NS: the figure becomes
// the frames run in it against the console's rate.
void speed_meter_update(int64_t now_ns, uint64_t frames_run);

// The title for an image path ("" when none is loaded), a method name, the
// pause and a speed (0: not measured yet, not shown).
std::string window_title(const std::string& image_path, const char* method, bool paused,
                         double speed);
