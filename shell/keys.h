// The keyboard standing in for the console's ten buttons: held keys clear
// their bits in the console's button word, `key_state` (memory/memory.h).
#pragma once

#include <cstdint>

#include "memory/memory.h"

// SDL 1.2 key symbols the shell acts on.
constexpr int KEY_TAB = 9;
constexpr int KEY_N = 110;
constexpr int KEY_P = 112;
constexpr int KEY_F1 = 282;
constexpr int KEY_F2 = 283;
constexpr int KEY_F3 = 284;
constexpr int KEY_F5 = 286;
constexpr int KEY_F6 = 287;
constexpr int KEY_F12 = 293;

// The key_state bit of a button key (letters by their lower-case symbol), or
// -1 for any other key.
int button_bit(int key_symbol);

// Console button names as the headless runner takes them ("A", "START"...),
// to their bit, or -1.
int button_bit_by_name(const char* name);

void press_key(int key_symbol);    // clears the key's bit, if it is a button
void release_key(int key_symbol);  // sets it again
