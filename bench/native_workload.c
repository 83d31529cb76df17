/* The benchmark's C workload built for the host (-O2) and run natively:
   the same rounds as carts/bench_workload, timed by the monotonic clock
   around the work alone, as quorrant-run times its frames. Prints
   "seconds S" on standard error; the workload's own output goes to
   standard output. */
#include <stdio.h>
#include <time.h>

#define main workload_main
#include "../carts/workload/workload.c"
#undef main

#include "../carts/bench_workload/workload_rounds.h"

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

int main(void) {
    double start = now();
    for (int round = 0; round < WORKLOAD_ROUNDS; round++) workload_main();
    fflush(stdout);
    fprintf(stderr, "seconds %.6f\n", now() - start);
    return 0;
}
