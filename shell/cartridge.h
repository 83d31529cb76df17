// Cartridge loading and reset. load_rom asks the user for an image through
// the dialog layer, reads it whole into `rom` and puts the console into its
// start state; it runs at start-up and on F1.
//
// The dialog layer is two procedures the front end supplies: the program
// uses zenity or the terminal, tests use a scripted one.
#pragma once

#include <cstddef>
#include <string>

// Longest path a load accepts; a longer one is a failed load, never a
// truncated one.
constexpr size_t PATH_LIMIT = 255;

struct DialogLayer {
    // Asks for a cartridge path; returns false (and leaves path empty) when
    // the user cancels or no way of asking is available.
    bool (*choose_path)(std::string& path);
    // A modal message with an OK button; title null means the default one.
    void (*show_message)(const char* text, const char* title);
};
extern DialogLayer dialog;

constexpr const char* ROM_ERROR_TEXT = "Rom Error!";
constexpr const char* ROM_ERROR_TITLE = "Error";
constexpr const char* READ_ERROR_TEXT = "Error!!!";

// Reads the image at path into a new buffer and installs it. Returns false on
// success and true on failure (the previous image, if any, stays loaded, and
// rom_load_error says why in a few lower-case words).
bool read_rom_file(const char* path);

// The path of the image in use ("" until one has loaded).
extern std::string loaded_rom_path;
// Why the last read_rom_file failed: "no such file", "larger than 32 MiB,
// the largest cartridge"...
extern const char* rom_load_error;

// The whole load: ask for a path (or take `path` when it is not null), then
//  - cancelled while a cartridge runs: nothing happens;
//  - read: the console restarts on the new image;
//  - failed: the "Rom Error!" box (with the reason as its second line when a
//    path was given) and one line on standard error; a cartridge that was
//    running goes on where it was, and with none the console restarts empty.
// Always returns 0.
int load_rom(const char* path = nullptr);
