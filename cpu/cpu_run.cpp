// The run loop: the frame loop hands the processor a line's budget of
// cycles, and the processor runs steps until it is spent, in the
// instruction set the T bit names, on the method the user chose.
//
// The interpreter runs code through its decoded records (cpu/decoded.h): a
// step checks the record against the word in memory and calls its form.
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

// The host bytes of an instruction, or null where its page has no fast read
// entry: code there (IO, palette, past the image) runs through the latch.
const uint8_t* code_bytes(uint32_t address) {
    uintptr_t page = fast_read_pages[fast_page_index(address)];
    if (!page) return nullptr;
    return reinterpret_cast<const uint8_t*>(page + (address & CONSOLE_ADDRESS_MASK));
}

bool same_page(uint32_t a, uint32_t b) { return ((a ^ b) >> FAST_PAGE_SHIFT) == 0; }

// --- ARM -----------------------------------------------------------------

// The latched instruction, as arm_execute takes it; r15 is left at the next
// instruction's address + 8. False when it entered Thumb state.
bool arm_latched_step() {
    uint32_t opcode = cpu_opcode;
    uint32_t cond = opcode >> 28;
    bool jumped = (cond == 0xE || condition_passed(cond)) && arm_table[arm_index(opcode)]();
    if (jumped && in_thumb_state()) return false;
    // A handler that writes r15 without a jump (a write-back into r15) goes
    // on at r15 - 4, as arm_fetch does.
    uint32_t at = jumped ? cpu_regs[15] : cpu_regs[15] - 4;
    cpu_regs[15] = at + 8;
    return true;
}

// Up to `left` ARM instructions (counted down) from r15 - 8, whose page's
// bytes start at `page_code`, while they stay in that page: jumps within it
// go on here. r15 is left as arm_latched_step leaves it; false when an
// instruction entered Thumb state.
bool arm_run_page(uint32_t& left, const uint8_t* page_code) {
    const uint32_t pc = cpu_regs[15] - 8;
    Decoded* const page_records = arm_decoded_at(pc & ~(FAST_PAGE_SIZE - 1));
    uint32_t index = (pc >> 2) & (ARM_PER_PAGE - 1);
    uint32_t r15 = cpu_regs[15];
    for (;;) {
        uint32_t n = std::min(left, ARM_PER_PAGE - index);
        left -= n;
        Decoded* d = page_records + index;
        const uint8_t* code = page_code + 4 * index;
        bool jumped = false;
        do {
            uint32_t word = load_le32(code);
            if (word != d->word) arm_decode_into(*d, word);
            cpu_regs[15] = r15;
            if (d->run(*d)) {
                jumped = true;
                break;
            }
            d++;
            code += 4;
            r15 += 4;
        } while (--n);
        if (!jumped) {
            cpu_regs[15] = r15;
            return true;
        }
        left += n - 1;
        if (in_thumb_state()) return false;
        uint32_t target = cpu_regs[15];
        r15 = target + 8;
        cpu_regs[15] = r15;
        if (!same_page(target, pc) || !left) return true;
        index = (target >> 2) & (ARM_PER_PAGE - 1);
    }
}

// ARM instructions until the budget is spent or the code enters Thumb
// state. Every step costs the same, so the count follows from the cycles:
// steps are taken while their sum is below the budget.
uint32_t run_arm(uint32_t sum, uint32_t budget, uint32_t extra) {
    const uint32_t cost = ARM_CYCLES + extra;
    const uint32_t steps = (budget - sum + cost - 1) / cost;
    uint32_t left = steps - 1;
    bool arm = arm_latched_step();
    while (arm && left) {
        if (const uint8_t* code = code_bytes((cpu_regs[15] - 8) & ~(FAST_PAGE_SIZE - 1))) {
            arm = arm_run_page(left, code);
        } else {
            cpu_opcode = fetch_word(cpu_regs[15] - 8);
            left--;
            arm = arm_latched_step();
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
// next instruction's address + 4. False when it returned to ARM state.
bool thumb_latched_step() {
    bool jumped = thumb_table[thumb_index(cpu_opcode)]();
    if (jumped && !in_thumb_state()) return false;
    uint32_t at = jumped ? cpu_regs[15] : cpu_regs[15] - 2;  // as thumb_fetch does
    cpu_regs[15] = at + 4;
    return true;
}

// As arm_run_page, for Thumb code; `left` counts steps of one cycle. BL
// (LONG_BRANCH), which always jumps, ends the run after it and adds its
// cycles beyond one to `more_cycles`.
bool thumb_run_page(uint32_t& left, uint32_t& more_cycles, const uint8_t* page_code) {
    const uint32_t pc = cpu_regs[15] - 4;
    Decoded* const page_records = thumb_decoded_at(pc & ~(FAST_PAGE_SIZE - 1));
    uint32_t index = (pc >> 1) & (THUMB_PER_PAGE - 1);
    uint32_t r15 = cpu_regs[15];
    for (;;) {
        uint32_t n = std::min(left, THUMB_PER_PAGE - index);
        left -= n;
        Decoded* d = page_records + index;
        const uint8_t* code = page_code + 2 * index;
        bool jumped = false;
        do {
            uint32_t half = load_le16(code);
            if (half != d->word) thumb_decode_into(*d, half);
            cpu_regs[15] = r15;
            if (d->run(*d)) {
                jumped = true;
                break;
            }
            d++;
            code += 2;
            r15 += 2;
        } while (--n);
        if (!jumped) {
            cpu_regs[15] = r15;
            return true;
        }
        left += n - 1;
        if (!in_thumb_state()) return false;
        uint32_t target = cpu_regs[15];
        r15 = target + 4;
        cpu_regs[15] = r15;
        if (d->cond == LONG_BRANCH) {
            more_cycles += thumb_cycles(d->word) - THUMB_CYCLES;
            return true;
        }
        if (!same_page(target, pc) || !left) return true;
        index = (target >> 1) & (THUMB_PER_PAGE - 1);
    }
}

// Thumb instructions until the budget is spent or the code returns to ARM
// state.
uint32_t run_thumb(uint32_t sum, uint32_t budget, uint32_t extra) {
    const uint32_t cost = THUMB_CYCLES + extra;
    uint64_t steps = 1;
    sum += thumb_cycles(cpu_opcode) + extra;
    bool thumb = thumb_latched_step();
    while (thumb && sum < budget) {
        if (const uint8_t* code = code_bytes((cpu_regs[15] - 4) & ~(FAST_PAGE_SIZE - 1))) {
            const uint32_t planned = (budget - sum + cost - 1) / cost;
            uint32_t left = planned, more_cycles = 0;
            thumb = thumb_run_page(left, more_cycles, code);
            steps += planned - left;
            sum += (planned - left) * cost + more_cycles;
        } else {
            cpu_opcode = fetch_halfword(cpu_regs[15] - 4);
            steps++;
            sum += thumb_cycles(cpu_opcode) + extra;
            thumb = thumb_latched_step();
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

}  // namespace

// The recompiler's loop runs the same steps the interpreter would: whole
// blocks where they fit, in either instruction set, and the interpreter
// runs the line's last steps, fewer than a block holds, so both methods
// see the same clock.
void cpu_run(uint32_t budget, uint32_t extra) {
    uint32_t sum = 0;
    if (cpu_method == Method::Dynarec) sum = dynarec_run(budget, extra, steps_taken);
    while (sum < budget)
        sum = in_thumb_state() ? run_thumb(sum, budget, extra) : run_arm(sum, budget, extra);
}
