// The run loop: the frame loop hands the processor a line's budget of
// cycles, and the processor runs steps until it is spent, in the
// instruction set the T bit names, on the method the user chose.
//
// The interpreter runs code through its decoded records (cpu/decoded.h): a
// run checks the first record against the word in memory and calls its
// form, which runs on from record to record.
// Between runs the state is the latched one of cpu/cpu.h: r15 = the next
// instruction's address + 8 (Thumb + 4), cpu_opcode = its word, and the
// first step of a run executes what is latched.
#include <algorithm>

#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/decoded.h"
#include "cpu/thumb.h"
#include "dynarec/dynarec.h"

uint64_t steps_taken = 0;

uint32_t cpu_step() {
    if (cpu_method == Method::Dynarec) return dynarec_step() & 0xFFFF;
    if (in_thumb_state()) return thumb_step();
    return arm_step();
}

namespace {

// --- ARM -----------------------------------------------------------------

// Where a step's caller does not ask whether it jumped: the loop's own
// steps, which a test and a store per step would slow.
struct NotAsked {
    void operator=(bool) const {}
};

// The latched instruction, as arm_execute takes it; r15 is left at the next
// instruction's address + 8. False when it entered Thumb state; `jumped`
// says whether it jumped.
template <typename Jumped>
bool arm_latched_step(Jumped&& jumped_out) {
    uint32_t opcode = cpu_opcode;
    uint32_t cond = opcode >> 28;
    bool jumped = (cond == 0xE || condition_passed(cond)) && arm_table[arm_index(opcode)]();
    jumped_out = jumped;
    if (jumped && in_thumb_state()) return false;
    // A handler that writes r15 without a jump (a write-back into r15) goes
    // on at r15 - 4, as arm_fetch does.
    uint32_t at = jumped ? cpu_regs[15] : cpu_regs[15] - 4;
    cpu_regs[15] = at + 8;
    return true;
}

// Inlined into both loops that start runs (cpu_run's and the stretches'):
// as a call it cost bench_workload 3 % more host instructions.
// One run of ARM records (cpu/decoded.h) from r15 - 8, whose page's bytes
// start at `page_code`, of at most `left` steps; counts down `left` by the
// steps taken. r15 is left as arm_latched_step leaves it; false when an
// instruction entered Thumb state.
[[gnu::always_inline]] inline bool arm_run_records(uint32_t& left, const uint8_t* page_code) {
    const uint32_t pc = cpu_regs[15] - 8;
    const uint32_t index = (pc >> 2) & (ARM_PER_PAGE - 1);
    const uint32_t given = std::min({left, ARM_PER_PAGE - index, ARM_RUN});
    Decoded* d = arm_decoded_at(pc);
    arm_start_run(d, cpu_regs[15]);
    run_steps_set_aside = 0;
    uint32_t rest = arm_enter(d, page_code + 4 * index, given);
    left -= given - rest - run_steps_set_aside;
    if (in_thumb_state()) return false;
    cpu_regs[15] += 8;
    return true;
}

// ARM instructions until the budget is spent or the code enters Thumb
// state. Every step costs the same, so the count follows from the cycles:
// steps are taken while their sum is below the budget.
uint32_t run_arm(uint32_t sum, uint32_t budget, uint32_t extra) {
    const uint32_t cost = ARM_CYCLES + extra;
    const uint32_t steps = (budget - sum + cost - 1) / cost;
    uint32_t left = steps - 1;
    bool arm = arm_latched_step(NotAsked{});
    while (arm && left) {
        if (const uint8_t* code = code_page_bytes((cpu_regs[15] - 8) & ~(FAST_PAGE_SIZE - 1))) {
            arm = arm_run_records(left, code);
        } else {
            cpu_opcode = fetch_word(cpu_regs[15] - 8);
            left--;
            arm = arm_latched_step(NotAsked{});
        }
    }
    if (arm) {
        cpu_opcode = fetch_word(cpu_regs[15] - 8);
    } else {
        thumb_refill();
    }
    steps_taken += steps - left;
    return sum + (steps - left) * cost;
}

// --- Thumb ---------------------------------------------------------------

// The latched instruction, as thumb_execute takes it; r15 is left at the
// next instruction's address + 4. False when it returned to ARM state;
// `jumped` says whether it jumped.
template <typename Jumped>
bool thumb_latched_step(Jumped&& jumped_out) {
    bool jumped = thumb_table[thumb_index(cpu_opcode)]();
    jumped_out = jumped;
    if (jumped && !in_thumb_state()) return false;
    uint32_t at = jumped ? cpu_regs[15] : cpu_regs[15] - 2;  // as thumb_fetch does
    cpu_regs[15] = at + 4;
    return true;
}

// As arm_run_records, for Thumb code; `left` counts steps of one cycle. A
// BL, which ends a run, adds its cycles beyond one to `more_cycles`.
[[gnu::always_inline]] inline bool thumb_run_records(uint32_t& left, uint32_t& more_cycles,
                                                     const uint8_t* page_code) {
    const uint32_t pc = cpu_regs[15] - 4;
    const uint32_t index = (pc >> 1) & (THUMB_PER_PAGE - 1);
    const uint32_t given = std::min({left, THUMB_PER_PAGE - index, THUMB_RUN});
    Decoded* d = thumb_decoded_at(pc);
    thumb_start_run(d, cpu_regs[15]);
    run_steps_set_aside = 0;
    uint32_t rest = thumb_enter(d, page_code + 2 * index, given);
    if (rest & LONG_STEP) more_cycles += THUMB_CYCLES;  // BL's step takes two
    left -= given - (rest & ~LONG_STEP) - run_steps_set_aside;
    if (!in_thumb_state()) return false;
    cpu_regs[15] += 4;
    return true;
}

// Thumb instructions until the budget is spent or the code returns to ARM
// state.
uint32_t run_thumb(uint32_t sum, uint32_t budget, uint32_t extra) {
    const uint32_t cost = THUMB_CYCLES + extra;
    uint64_t steps = 1;
    sum += thumb_cycles(cpu_opcode) + extra;
    bool thumb = thumb_latched_step(NotAsked{});
    while (thumb && sum < budget) {
        if (const uint8_t* code = code_page_bytes((cpu_regs[15] - 4) & ~(FAST_PAGE_SIZE - 1))) {
            const uint32_t planned = (budget - sum + cost - 1) / cost;
            uint32_t left = planned, more_cycles = 0;
            thumb = thumb_run_records(left, more_cycles, code);
            steps += planned - left;
            sum += (planned - left) * cost + more_cycles;
        } else {
            cpu_opcode = fetch_halfword(cpu_regs[15] - 4);
            steps++;
            sum += thumb_cycles(cpu_opcode) + extra;
            thumb = thumb_latched_step(NotAsked{});
        }
    }
    if (thumb) {
        cpu_opcode = fetch_halfword(cpu_regs[15] - 4);
    } else {
        arm_refill();
    }
    steps_taken += steps;
    return sum;
}

// --- Stretches for the recompiler's run loop -----------------------------

// Where a stretch ends, for the instruction at `address` reached after a
// step that jumped or not: a block start, or a page other than `page`.
struct StretchRule {
    StretchEnd end;
    uint32_t group_bytes;
    uint32_t page;
    bool ends_before(uint32_t address, bool jumped) const {
        if (end == StretchEnd::BLOCK_START) return jumped || (address & (group_bytes - 1)) == 0;
        return address >> FAST_PAGE_SHIFT != page;
    }
    // The page's records, where they may run the stretch: a run of them
    // goes on through the branches within its page, so a stretch that ends
    // at block starts takes latched steps one at a time, as do pages
    // without a fast read entry.
    const uint8_t* records_for(uint32_t address) const {
        if (end == StretchEnd::BLOCK_START) return nullptr;
        return code_page_bytes(address & ~(FAST_PAGE_SIZE - 1));
    }
};

// The latched step, then one run of the page's records or latched steps
// one at a time; either way the stretch stays in the page it entered.
Stretch arm_stretch(uint32_t budget, uint32_t extra, StretchEnd end, uint32_t group) {
    const StretchRule rule{end, 4 * group, (cpu_regs[15] - 8) >> FAST_PAGE_SHIFT};
    const uint32_t cost = ARM_CYCLES + extra;
    const uint32_t steps = (budget + cost - 1) / cost;
    uint32_t left = steps - 1;
    bool jumped;
    bool arm = arm_latched_step(jumped);
    if (arm && left && !rule.ends_before(cpu_regs[15] - 8, jumped)) {
        if (const uint8_t* code = rule.records_for(cpu_regs[15] - 8)) {
            uint32_t rest = left;
            runs_stay_in_page = true;
            arm = arm_run_records(rest, code);
            runs_stay_in_page = false;
            left = rest;
        } else {
            do {
                cpu_opcode = fetch_word(cpu_regs[15] - 8);
                left--;
                arm = arm_latched_step(jumped);
            } while (arm && left && !rule.ends_before(cpu_regs[15] - 8, jumped));
        }
    }
    if (arm) {
        cpu_opcode = fetch_word(cpu_regs[15] - 8);
    } else {
        thumb_refill();
    }
    return {(steps - left) * cost, steps - left};
}

Stretch thumb_stretch(uint32_t budget, uint32_t extra, StretchEnd end, uint32_t group) {
    const StretchRule rule{end, 2 * group, (cpu_regs[15] - 4) >> FAST_PAGE_SHIFT};
    const uint32_t cost = THUMB_CYCLES + extra;
    Stretch ran{thumb_cycles(cpu_opcode) + extra, 1};
    bool jumped;
    bool thumb = thumb_latched_step(jumped);
    if (thumb && ran.cycles < budget && !rule.ends_before(cpu_regs[15] - 4, jumped)) {
        if (const uint8_t* code = rule.records_for(cpu_regs[15] - 4)) {
            uint32_t planned = (budget - ran.cycles + cost - 1) / cost;
            uint32_t left = planned, more_cycles = 0;
            runs_stay_in_page = true;
            thumb = thumb_run_records(left, more_cycles, code);
            runs_stay_in_page = false;
            ran.steps += planned - left;
            ran.cycles += (planned - left) * cost + more_cycles;
        } else {
            do {
                cpu_opcode = fetch_halfword(cpu_regs[15] - 4);
                ran.steps++;
                ran.cycles += thumb_cycles(cpu_opcode) + extra;
                thumb = thumb_latched_step(jumped);
            } while (thumb && ran.cycles < budget && !rule.ends_before(cpu_regs[15] - 4, jumped));
        }
    }
    if (thumb) {
        cpu_opcode = fetch_halfword(cpu_regs[15] - 4);
    } else {
        arm_refill();
    }
    return ran;
}

}  // namespace

Stretch cpu_run_stretch(uint32_t budget, uint32_t extra, StretchEnd end, uint32_t group) {
    return in_thumb_state() ? thumb_stretch(budget, extra, end, group)
                            : arm_stretch(budget, extra, end, group);
}

// The recompiler's loop runs the same steps the interpreter would: whole
// blocks where they fit, in either instruction set, and the interpreter
// runs the line's last steps, fewer than a block holds, so both methods
// see the same clock.
uint32_t cpu_run(uint32_t budget, uint32_t extra) {
    uint32_t sum = 0;
    if (cpu_method == Method::Dynarec) sum = dynarec_run(budget, extra, steps_taken);
    return cpu_interpret(sum, budget, extra);
}

uint32_t cpu_interpret(uint32_t sum, uint32_t budget, uint32_t extra) {
    while (sum < budget)
        sum = in_thumb_state() ? run_thumb(sum, budget, extra) : run_arm(sum, budget, extra);
    return sum;
}
