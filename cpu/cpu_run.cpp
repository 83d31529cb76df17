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

namespace {

// The fetch reads through the fast read entry of the page that holds the
// instruction (memory/memory.h), looked up once per page instead of once
// per instruction; a page without one takes fetch_word or fetch_halfword.
// Entries change only when a cartridge is installed, never while the
// processor runs.
constexpr uint32_t NO_PAGE = 1;  // no page starts at an odd address

struct CodePage {
    uint32_t start = NO_PAGE;
    uintptr_t entry = 0;  // host address of the page minus its console address
};

CodePage code_page_of(uint32_t address) {
    return {address & ~(FAST_PAGE_SIZE - 1), fast_read_pages[fast_page_index(address)]};
}

const uint8_t* host_byte(const CodePage& page, uint32_t address) {
    return reinterpret_cast<const uint8_t*>(page.entry + (address & CONSOLE_ADDRESS_MASK));
}

// ARM instructions until the budget is spent or the code enters Thumb
// state. Every step costs the same, so the count follows from the cycles.
// After a jump as after any other instruction, the next opcode is latched
// from `at` and r15 = at + 8 (arm_fetch, arm_refill).
uint32_t run_arm(uint32_t sum, uint32_t budget, uint32_t extra) {
    const uint32_t cost = ARM_CYCLES + extra;
    const uint32_t first = sum;
    CodePage page;
    while (sum < budget) {
        uint32_t opcode = cpu_opcode;
        uint32_t cond = opcode >> 28;
        sum += cost;
        uint32_t at = cpu_regs[15] - 4;
        if ((cond == 0xE || condition_passed(cond)) && arm_table[arm_index(opcode)]()) {
            if (in_thumb_state()) {
                thumb_refill();
                break;
            }
            at = cpu_regs[15];
        }
        cpu_regs[15] = at + 8;
        at &= ~3u;
        if (at - page.start >= FAST_PAGE_SIZE) page = code_page_of(at);
        cpu_opcode = page.entry ? load_le32(host_byte(page, at)) : fetch_word(at);
    }
    steps_taken += (sum - first) / cost;
    return sum;
}

// Thumb instructions until the budget is spent or the code returns to ARM
// state; the next opcode comes from `at`, and r15 = at + 4 (thumb_fetch,
// thumb_refill).
uint32_t run_thumb(uint32_t sum, uint32_t budget, uint32_t extra) {
    uint64_t steps = 0;
    CodePage page;
    while (sum < budget) {
        uint32_t opcode = cpu_opcode;
        steps++;
        sum += thumb_cycles(opcode) + extra;
        uint32_t at = cpu_regs[15] - 2;
        if (thumb_table[thumb_index(opcode)]()) {
            if (!in_thumb_state()) {
                arm_refill();
                break;
            }
            at = cpu_regs[15];
        }
        cpu_regs[15] = at + 4;
        if (at - page.start >= FAST_PAGE_SIZE) page = code_page_of(at);
        cpu_opcode = page.entry ? load_le16(host_byte(page, at)) : fetch_halfword(at);
    }
    steps_taken += steps;
    return sum;
}

}  // namespace

// A translated block is one step, whatever its cycles.
void cpu_run(uint32_t budget, uint32_t extra) {
    uint32_t sum = 0;
    while (sum < budget) {
        if (in_thumb_state()) {
            sum = run_thumb(sum, budget, extra);
        } else if (cpu_method == Method::Dynarec) {
            sum += (dynarec_step() & 0xFFFF) + extra;
            steps_taken++;
        } else {
            sum = run_arm(sum, budget, extra);
        }
    }
}
