// dynarec_step's memo of the two blocks that last went through the cache:
// entry 0 the most recent, entry 1 the one before. An entry with no code
// matches no PC.
#pragma once

#include <cstdint>

struct memo_entry {
    uint32_t pc;
    uint8_t* code;
};

extern memo_entry step_memo[2];
