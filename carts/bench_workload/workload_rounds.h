/* How many times the benchmark runs the C workload: the cartridge and the
   native build share this number, so both do the same work. */
#define WORKLOAD_ROUNDS 40
