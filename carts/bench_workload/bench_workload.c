/* The C workload of carts/workload run WORKLOAD_ROUNDS times in a row, long
   enough to time: bench/compare runs this cartridge under both methods and
   the same file built for the host (bench/native_workload.c), and reports
   how many times slower than native code each method is. */
#define main workload_main
#include "../workload/workload.c"
#undef main

#include "workload_rounds.h"

int main(void) {
    for (int round = 0; round < WORKLOAD_ROUNDS; round++) workload_main();
    return 0;
}
