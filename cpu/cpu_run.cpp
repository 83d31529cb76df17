// The run loop: the frame loop hands the processor a line's budget of
// cycles, and the processor runs steps until it is spent, in the
// instruction set the T bit names, on the method the user chose.
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/thumb.h"
#include "dynarec/dynarec.h"

uint64_t steps_taken = 0;

uint32_t cpu_step() {
    if (cpu_method == Method::Dynarec) return dynarec_step() & 0xFFFF;
    if (in_thumb_state()) return thumb_step();
    return arm_step();
}

namespace {

// ARM instructions until the budget is spent or the code enters Thumb
// state. Every step costs the same, so the count follows from the cycles.
// After a jump as after any other instruction, the next opcode is latched
// from `at` and r15 = at + 8 (arm_fetch, arm_refill).
uint32_t run_arm(uint32_t sum, uint32_t budget, uint32_t extra) {
    const uint32_t cost = ARM_CYCLES + extra;
    const uint32_t first = sum;
    while (sum < budget) {
        uint32_t opcode = cpu_opcode;
        uint32_t cond = opcode >> 28;
        sum += cost;
        bool jumped = (cond == 0xE || condition_passed(cond)) && arm_table[arm_index(opcode)]();
        if (jumped && in_thumb_state()) {
            thumb_refill();
            break;
        }
        // r15 is read after the handler: one that writes it without a jump
        // (a write-back into r15) goes on at r15 - 4, as arm_fetch does.
        uint32_t at = jumped ? cpu_regs[15] : cpu_regs[15] - 4;
        cpu_regs[15] = at + 8;
        cpu_opcode = fetch_word(at);
    }
    steps_taken += (sum - first) / cost;
    return sum;
}

// Thumb instructions until the budget is spent or the code returns to ARM
// state; the next opcode comes from `at`, and r15 = at + 4 (thumb_fetch,
// thumb_refill).
uint32_t run_thumb(uint32_t sum, uint32_t budget, uint32_t extra) {
    uint64_t steps = 0;
    while (sum < budget) {
        uint32_t opcode = cpu_opcode;
        steps++;
        sum += thumb_cycles(opcode) + extra;
        bool jumped = thumb_table[thumb_index(opcode)]();
        if (jumped && !in_thumb_state()) {
            arm_refill();
            break;
        }
        uint32_t at = jumped ? cpu_regs[15] : cpu_regs[15] - 2;  // as thumb_fetch does
        cpu_regs[15] = at + 4;
        cpu_opcode = fetch_halfword(at);
    }
    steps_taken += steps;
    return sum;
}

}  // namespace

// The recompiler's loop runs the same steps the interpreter would (whole
// blocks where they fit, the interpreter for the rest), in either
// instruction set, so both methods see the same clock.
void cpu_run(uint32_t budget, uint32_t extra) {
    uint32_t sum = 0;
    while (sum < budget) {
        if (cpu_method == Method::Dynarec) {
            sum += dynarec_run(budget - sum, extra, steps_taken);
        } else if (in_thumb_state()) {
            sum = run_thumb(sum, budget, extra);
        } else {
            sum = run_arm(sum, budget, extra);
        }
    }
}
