// The schedule of paced frames.
#include "shell/pacing.h"

#include <cerrno>
#include <ctime>

Pacer pacer = {0, 0};

int64_t monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t frame_deadline(int64_t origin_ns, int64_t frames) {
    return origin_ns + frames * FRAME_PERIOD_NS + ((frames * FRAME_PERIOD_EXTRA_NS_1024THS) >> 10);
}

void pacer_restart(int64_t now_ns) { pacer = {now_ns, 0}; }

int64_t pacer_next_deadline(int64_t now_ns) {
    pacer.frames++;
    int64_t deadline = frame_deadline(pacer.origin_ns, pacer.frames);
    if (now_ns - deadline > FRAMES_LATE_LIMIT * FRAME_PERIOD_NS) {
        pacer_restart(now_ns);
        return now_ns;
    }
    return deadline;
}

void sleep_until(int64_t deadline_ns) {
    timespec until = {time_t(deadline_ns / 1000000000), long(deadline_ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}
