// The program: one 240 x 160 window, a cartridge, and frames back to back.
//   quorrant [IMAGE]   loads IMAGE at start-up instead of asking for one.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/cartridge.h"
#include "shell/dialog.h"
#include "shell/main_loop.h"
#include "video/video.h"

namespace {

SDL_Surface* window_surface = nullptr;

void window_clear() { SDL_FillRect(window_surface, nullptr, 0); }

void window_present() {
    SDL_UnlockSurface(window_surface);
    SDL_Flip(window_surface);
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
    window_surface =
        SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 32, SDL_HWSURFACE | SDL_DOUBLEBUF);
    if (!window_surface) return false;
    SDL_WM_SetCaption("Quorrant", nullptr);
    screen.clear = window_clear;
    screen.present = window_present;
    return true;
}

void lock_window() {
    SDL_LockSurface(window_surface);
    screen.pixels = static_cast<uint32_t*>(window_surface->pixels);
    screen.pitch = window_surface->pitch;
}

// At most one event per frame: the rest wait for the following frames.
ShellEvent poll_one_event() {
    SDL_Event event;
    if (!SDL_PollEvent(&event)) return {EVENT_NONE, 0};
    switch (event.type) {
        case SDL_KEYDOWN: return {EVENT_KEY_DOWN, int(event.key.keysym.sym)};
        case SDL_KEYUP: return {EVENT_KEY_UP, int(event.key.keysym.sym)};
        case SDL_QUIT: return {EVENT_QUIT, 0};
        default: return {EVENT_NONE, 0};
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr,
                     "usage: quorrant [IMAGE]   (one cartridge image, or none to choose one)\n");
        return 2;
    }
    dialog = desktop_dialog;
    console_startup();
    if (!open_window()) {
        std::fprintf(stderr, "Quorrant: cannot open the window: %s\n", SDL_GetError());
        console_shutdown();
        SDL_Quit();
        return 1;
    }
    load_rom(argc > 1 ? argv[1] : nullptr);
    while (main_loop_iteration(poll_one_event, lock_window)) {
    }
    console_shutdown();
    SDL_Quit();
    return 0;
}
