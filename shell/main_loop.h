// The main loop's one iteration, apart from the window system: act on at
// most one event, then run a frame. The front end turns its window events
// into ShellEvents and does the locking around frame_run.
#pragma once

// The event types acted on, numbered as SDL 1.2 numbers them.
constexpr int EVENT_NONE = 0;
constexpr int EVENT_KEY_DOWN = 2;
constexpr int EVENT_KEY_UP = 3;
constexpr int EVENT_QUIT = 12;

struct ShellEvent {
    int type;
    int key_symbol;
};

// Buttons change key_state; F1 loads another cartridge, F5/F6 switch the
// method, F12 and the close request end the program. Returns false when the
// program is to end (no further frame runs).
bool handle_event(const ShellEvent& event);

// One iteration of the main loop: take at most one event and act on it (the
// rest wait for the following frames), then lock the picture and run a
// frame. Returns false when the program is to end; no frame runs then.
bool main_loop_iteration(ShellEvent (*poll_event)(), void (*lock_picture)());

// Start-up before the window opens: code buffer, memory, tables, BIOS.
void console_startup();
// Releases what console_startup took.
void console_shutdown();
