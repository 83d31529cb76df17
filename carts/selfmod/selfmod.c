/* Self-modifying code: routines copied into internal RAM, run, overwritten
   by other routines and run again, and a single instruction rewritten
   between calls. Every result is what the ARM instructions compute, whatever
   copy of the code ran before. */
#include <stdint.h>

#include "results.h"

typedef uint32_t (*routine)(uint32_t);

extern uint32_t routine_triple_plus_one[], routine_triple_plus_one_end[];
extern uint32_t routine_minus_five[], routine_minus_five_end[];
extern uint32_t routine_count_down[], routine_count_down_end[];

/* Away from the results block at the start of internal RAM. */
#define CODE_AREA ((volatile uint32_t*)0x03004000)

static routine install(const uint32_t* start, const uint32_t* end) {
    volatile uint32_t* dest = CODE_AREA;
    while (start < end) *dest++ = *start++;
    return (routine)(uintptr_t)CODE_AREA;
}

int main(void) {
    routine r = install(routine_triple_plus_one, routine_triple_plus_one_end);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < 50; i++) sum += r(i); /* 3 * 1225 + 50 */
    check(1, sum, 3725);

    r = install(routine_minus_five, routine_minus_five_end);
    check(2, r(10), 5);
    check(3, r(3), 0xFFFFFFFE);

    r = install(routine_count_down, routine_count_down_end);
    check(4, r(1000), 1000);

    r = install(routine_triple_plus_one, routine_triple_plus_one_end);
    check(5, r(7), 22);

    /* One word rewritten before every call: MOV r0, #i; BX lr. */
    uint32_t mismatches = 0;
    for (uint32_t i = 0; i < 200; i++) {
        CODE_AREA[0] = 0xE3A00000u | i; /* MOV r0, #i */
        CODE_AREA[1] = 0xE12FFF1Eu;     /* BX lr */
        if (((routine)(uintptr_t)CODE_AREA)(0xFFFF) != i) mismatches++;
    }
    check(6, mismatches, 0);
    return 0;
}
