// The button key table.
#include "shell/keys.h"

#include <cstring>

namespace {

struct ButtonKey {
    int key_symbol;
    int bit;
    const char* button;
};

// clang-format off
const ButtonKey button_keys[] = {
    {120, 0, "A"},       // X
    {122, 1, "B"},       // Z
    {115, 2, "SELECT"},  // S
    { 97, 3, "START"},   // A
    {275, 4, "RIGHT"},   // Right arrow
    {276, 5, "LEFT"},    // Left arrow
    {273, 6, "UP"},      // Up arrow
    {274, 7, "DOWN"},    // Down arrow
    {119, 8, "R"},       // W
    {113, 9, "L"},       // Q
};
// clang-format on

}  // namespace

int button_bit(int key_symbol) {
    for (const ButtonKey& key : button_keys)
        if (key.key_symbol == key_symbol) return key.bit;
    return -1;
}

int button_bit_by_name(const char* name) {
    for (const ButtonKey& key : button_keys)
        if (std::strcmp(key.button, name) == 0) return key.bit;
    return -1;
}

void press_key(int key_symbol) {
    int bit = button_bit(key_symbol);
    if (bit >= 0) key_state &= uint16_t(~(1u << bit));
}

void release_key(int key_symbol) {
    int bit = button_bit(key_symbol);
    if (bit >= 0) key_state |= uint16_t(1u << bit);
}
