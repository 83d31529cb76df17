/* The results block our test cartridges fill in, at the start of internal
   RAM (0x03000000), read back by the tests through quorrant-run --peek.

     +0   magic 0x514F5252, written by the start code
     +4   status: 0 while running, 1 once main has returned
     +8   passed cases        +12  failed cases
     +16  number of the first failing case (0 if none)
     +20  main's result      +24  length of the text
     +28  reserved           +32  text, what the program printed */
#ifndef QUORRANT_CART_RESULTS_H
#define QUORRANT_CART_RESULTS_H

#include <stdint.h>

#define RESULTS_TEXT_SIZE 4064

struct results {
    uint32_t magic;
    uint32_t status;
    uint32_t passed;
    uint32_t failed;
    uint32_t first_failure;
    uint32_t exit_code;
    uint32_t text_length;
    uint32_t reserved;
    char text[RESULTS_TEXT_SIZE];
};

#define RESULTS ((volatile struct results*)0x03000000)

/* Counts a case: passes when actual equals expected. */
static inline void check(uint32_t case_number, uint32_t actual, uint32_t expected) {
    if (actual == expected) {
        RESULTS->passed++;
    } else {
        if (RESULTS->failed == 0) RESULTS->first_failure = case_number;
        RESULTS->failed++;
    }
}

#endif
