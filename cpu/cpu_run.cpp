// The run loop: the frame loop hands the processor a line's budget of
// cycles, and the processor runs steps until it is spent, in the
// instruction set the T bit names and, for ARM code, on the method the user
// chose.
#include <cstring>

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

// The sequential fetch reads through a host pointer to the 1 KB page that
// holds the instruction, found once per page instead of once per
// instruction. A page qualifies when it lies whole inside the array that
// region_base, region_mask and region_limit give for it (what fetch_word
// reads); elsewhere, and for Thumb code outside the cartridge (where the
// Thumb fetch goes through the bus), the fetch takes the plain route.
// Region arrays do not move while the processor runs, and stores land in
// them, so a pointer stays right for as long as cpu_run runs.
constexpr uint32_t PAGE_SIZE = 1024;
constexpr uint32_t NO_PAGE = 1;  // no page starts at an odd address

struct CodePage {
    uint32_t start = NO_PAGE;
    const uint8_t* host = nullptr;
};

CodePage code_page_of(uint32_t address, bool thumb) {
    uint32_t start = address & ~(PAGE_SIZE - 1);
    uint32_t region = (start >> 24) & 15;
    const uint8_t* base = region_base[region];
    uint32_t offset = start & region_mask[region];
    if (!base || offset + PAGE_SIZE > region_limit[region]) return {};
    if (thumb && (region < 8 || region > 13)) return {};
    return {start, base + offset};
}

uint32_t load_word(const uint8_t* p) {
    uint32_t word;
    std::memcpy(&word, p, 4);  // little-endian host
    return word;
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
        if (at - page.start >= PAGE_SIZE) page = code_page_of(at, false);
        cpu_opcode = page.host ? load_word(page.host + (at - page.start)) : fetch_word(at);
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
        if (at - page.start >= PAGE_SIZE) page = code_page_of(at, true);
        cpu_opcode = page.host ? load_le16(page.host + (at - page.start)) : fetch_halfword(at);
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
