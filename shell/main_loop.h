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

// Start-up before the window opens: code buffer, memory, tables, BIOS.
void console_startup();
// Releases what console_startup took.
void console_shutdown();
