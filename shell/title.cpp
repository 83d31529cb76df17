// The title text and the speed it shows.
#include "shell/title.h"

#include <cstdio>

#include "shell/pacing.h"

SpeedMeter speed_meter = {0, 0, 0};

void speed_meter_restart(int64_t now_ns, uint64_t frames_run) {
    speed_meter.since_ns = now_ns;
    speed_meter.frames_at_since = frames_run;
}

void speed_meter_update(int64_t now_ns, uint64_t frames_run) {
    int64_t elapsed = now_ns - speed_meter.since_ns;
    if (elapsed < SPEED_SAMPLE_NS) return;
    double frames_per_second = double(frames_run - speed_meter.frames_at_since) * 1e9 / elapsed;
    speed_meter.speed = frames_per_second / CONSOLE_FRAMES_PER_SECOND;
    speed_meter_restart(now_ns, frames_run);
}

std::string window_title(const std::string& image_path, const char* method, bool paused,
                         double speed) {
    std::string title = "Quorrant";
    if (!image_path.empty()) {
        size_t slash = image_path.find_last_of('/');
        title += " - " + image_path.substr(slash == std::string::npos ? 0 : slash + 1);
    }
    title += " - ";
    title += method;
    if (paused) {
        title += " - paused";
    } else if (speed > 0) {
        char figure[32];
        std::snprintf(figure, sizeof figure, " - %.1fx", speed);
        title += figure;
    }
    return title;
}
