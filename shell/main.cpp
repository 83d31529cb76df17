// The program: one 240 x 160 window, a cartridge, and frames at the
// console's rate (unpaced while Tab is held).
//   quorrant [IMAGE]   loads IMAGE at start-up instead of asking for one.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/cartridge.h"
#include "shell/dialog.h"
#include "shell/main_loop.h"
#include "shell/pacing.h"
#include "shell/picture_file.h"
#include "shell/title.h"
#include "video/video.h"

namespace {

const char USAGE[] =
    "usage: quorrant [IMAGE]\n"
    "Runs the Game Boy Advance cartridge IMAGE in a window (without IMAGE, asks for one).\n"
    "Keys:\n"
    "  X, Z          the buttons A and B\n"
    "  A, S          Start and Select\n"
    "  arrow keys    the direction pad\n"
    "  Q, W          the shoulder buttons L and R\n"
    "  Tab           fast-forward while held\n"
    "  P             pause and resume\n"
    "  N             run one frame while paused\n"
    "  F1            load another cartridge\n"
    "  F2            restart the cartridge (the method is kept)\n"
    "  F3            save a screenshot as quorrant-YYYYMMDD-HHMMSS.png\n"
    "  F5, F6        run on the interpreter (Interpretative) or the recompiler (Dynarec)\n"
    "  F12           quit\n";

// The window's own state, beside the session's.
struct Window {
    SDL_Surface* surface;
    std::string shown_title;
    bool event_taken;  // a key or an expose since the last iteration: a
                       // paused window shows its surface again
    bool was_unpaced;  // how the last iteration ran
    bool was_paused;
};
Window window = {nullptr, "", false, false, false};

void window_clear() { SDL_FillRect(window.surface, nullptr, 0); }

void window_present() {
    SDL_UnlockSurface(window.surface);
    SDL_Flip(window.surface);
}

// Without a display SDL falls back on a video driver that shows nothing
// ("offscreen" or "dummy"): the program would run with no window to see or
// type into. That counts as a window that cannot open, unless the user chose
// such a driver through SDL's own SDL_VIDEODRIVER.
bool driver_shows_nothing() {
    char name[32];
    if (!SDL_VideoDriverName(name, sizeof name)) return false;
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    if (chosen && *chosen) return false;
    return std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0;
}

bool open_window() {
    SDL_Init(SDL_INIT_VIDEO);
    if (driver_shows_nothing()) {
        SDL_SetError("no display to show it on (is DISPLAY set?)");
        return false;
    }
    window.surface =
        SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 32, SDL_HWSURFACE | SDL_DOUBLEBUF);
    if (!window.surface) return false;
    SDL_WM_SetCaption("Quorrant", nullptr);
    window.shown_title = "Quorrant";
    screen.clear = window_clear;
    screen.present = window_present;
    return true;
}

void lock_window() {
    SDL_LockSurface(window.surface);
    screen.pixels = static_cast<uint32_t*>(window.surface->pixels);
    screen.pitch = window.surface->pitch;
}

// Between frames the surface holds the picture last shown.
void window_screenshot() {
    SDL_LockSurface(window.surface);
    save_screenshot(static_cast<const uint32_t*>(window.surface->pixels), window.surface->pitch);
    SDL_UnlockSurface(window.surface);
}

// At most one event acted on per iteration: the rest wait for the following
// ones. Events of other kinds (the mouse, focus) are passed over here, so
// that they never hold a key back.
ShellEvent poll_one_event() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
            case SDL_KEYDOWN:
                window.event_taken = true;
                return {EVENT_KEY_DOWN, int(event.key.keysym.sym)};
            case SDL_KEYUP: return {EVENT_KEY_UP, int(event.key.keysym.sym)};
            case SDL_QUIT: return {EVENT_QUIT, 0};
            case SDL_VIDEOEXPOSE: window.event_taken = true; break;
            default: break;
        }
    }
    return {EVENT_NONE, 0};
}

void show_title() {
    std::string title =
        window_title(loaded_rom_path, method_name(), session.paused, speed_meter.speed);
    if (title == window.shown_title) return;
    SDL_WM_SetCaption(title.c_str(), nullptr);
    window.shown_title = title;
}

// Between iterations: unpaced while fast-forwarding, one console frame
// period otherwise. Leaving fast-forward or a pause starts a new schedule,
// so that the frames after it come at the console's rate, not in a burst.
void wait_for_next_iteration() {
    int64_t now = monotonic_ns();
    bool unpaced = session.fast_forward && !session.paused;
    if (session.paused != window.was_paused) speed_meter_restart(now, session.frames_run);
    if ((window.was_unpaced && !unpaced) || session.paused != window.was_paused) pacer_restart(now);
    window.was_unpaced = unpaced;
    window.was_paused = session.paused;
    if (session.paused && window.event_taken) SDL_Flip(window.surface);  // a reset, a load
    window.event_taken = false;
    if (!unpaced) sleep_until(pacer_next_deadline(now));
}

void run() {
    int64_t start = monotonic_ns();
    pacer_restart(start);
    speed_meter_restart(start, session.frames_run);
    while (main_loop_iteration(poll_one_event, lock_window)) {
        if (!session.paused) speed_meter_update(monotonic_ns(), session.frames_run);
        show_title();
        wait_for_next_iteration();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        if (argc == 2) std::fprintf(stderr, "Quorrant: unknown option '%s'\n", argv[1]);
        std::fputs(USAGE, stderr);
        return 2;
    }
    dialog = desktop_dialog;
    front_end.save_screenshot = window_screenshot;
    console_startup();
    if (!open_window()) {
        std::fprintf(stderr, "Quorrant: cannot open the window: %s\n", SDL_GetError());
        console_shutdown();
        SDL_Quit();
        return 1;
    }
    load_rom(argc > 1 ? argv[1] : nullptr);
    run();
    console_shutdown();
    SDL_Quit();
    return 0;
}
