// The run loop: the frame loop hands the processor a line's budget of
// cycles, and the processor runs steps until it is spent, in the
// instruction set the T bit names and, for ARM code, on the method the user
// chose.
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/thumb.h"
#include "dynarec/dynarec.h"

uint64_t steps_taken = 0;

uint32_t cpu_step() {
    if (in_thumb_state()) return thumb_step();
    if (cpu_method == Method::Dynarec) return dynarec_step() & 0xFFFF;
    return arm_step();
}

// Each instruction set runs in its own inner loop until the budget is spent
// or the instruction set changes. The recompiler's loop runs the same steps
// the interpreter would (whole blocks where they fit, the interpreter for
// the rest), so both methods see the same clock.
void cpu_run(uint32_t budget, uint32_t extra) {
    uint32_t sum = 0;
    uint64_t steps = 0;
    while (sum < budget) {
        if (in_thumb_state()) {
            do {
                sum += thumb_execute() + extra;
                steps++;
            } while (sum < budget && in_thumb_state());
        } else if (cpu_method == Method::Dynarec) {
            sum += dynarec_run(budget - sum, extra, steps);
        } else {
            do {
                arm_execute();
                sum += ARM_CYCLES + extra;
                steps++;
            } while (sum < budget && !in_thumb_state());
        }
    }
    steps_taken += steps;
}
