// The main loop's one iteration, apart from the window system: act on at
// most one event, then run a frame unless the session is paused. The front
// end turns its window events into ShellEvents, does the locking around
// frame_run, paces the iterations and shows the title.
#pragma once

#include <cstdint>

// The event types acted on, numbered as SDL 1.2 numbers them.
constexpr int EVENT_NONE = 0;
constexpr int EVENT_KEY_DOWN = 2;
constexpr int EVENT_KEY_UP = 3;
constexpr int EVENT_QUIT = 12;

struct ShellEvent {
    int type;
    int key_symbol;
};

// What the player has asked of the running session, besides the buttons.
// Owned by the main loop; the front end reads it to pace and to title.
struct Session {
    bool paused;        // P: no frame runs...
    bool advance;       // ...but for one after N
    bool fast_forward;  // Tab held: frames run unpaced
    uint64_t frames_run;
};
extern Session session;

// The front end's part of the keys that need the window or the disk; null
// where there is none (the headless runner, tests).
struct FrontEndHooks {
    void (*save_screenshot)();  // F3
};
extern FrontEndHooks front_end;

// Buttons change key_state; F1 loads another cartridge, F2 restarts the
// current one, F3 saves a screenshot, F5/F6 switch the method, P pauses,
// N runs one frame while paused, Tab fast-forwards while held, F12 and the
// close request end the program. Returns false when the program is to end
// (no further frame runs).
bool handle_event(const ShellEvent& event);

// One iteration of the main loop: take at most one event and act on it (the
// rest wait for the following iterations), then, unless paused, lock the
// picture and run a frame. Returns false when the program is to end; no
// frame runs then.
bool main_loop_iteration(ShellEvent (*poll_event)(), void (*lock_picture)());

// The method the player chose, as the title names it: "Interpretative" or
// "Dynarec", in ARM and Thumb state alike.
const char* method_name();

// The cartridge starts again as after a load, under the same method.
void restart_cartridge();

// Start-up before the window opens: code buffer, memory, tables, BIOS.
void console_startup();
// Releases what console_startup took.
void console_shutdown();
