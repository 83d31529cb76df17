// Thumb branches: the conditional branch, B, the two-halfword long branch
// with link, and the software interrupt.
//
//   conditional:  | 1101 | cond(11-8) | signed imm8 |   (cond 15 is SWI)
//   B:            | 11100 | signed imm11 |              (bit 11 ignored)
//   BL:           | 1111 H | imm11 |   H = 0: high part, H = 1: low part
#include "cpu/cpu.h"
#include "cpu/decoded.h"
#include "cpu/thumb.h"
#include "cpu/thumb_handlers.h"

namespace {

bool branch_by(uint32_t distance) {
    cpu_regs[15] += distance;
    return JUMPED;
}

bool branch_if(uint32_t cond, uint32_t distance) {
    if (!condition_passed(cond)) return NEXT;
    return branch_by(distance);
}

// The record forms: `operand` holds the distance from r15; B<cond> has
// one form per condition, which tests its own flags.
template <uint32_t cond>
bool b_when(const Decoded& d) {
    return branch_if(cond, d.operand);
}
bool b_record(const Decoded& d) { return branch_by(d.operand); }

constexpr DecodedRun conditional_branches[15] = {
    b_when<0>, b_when<1>, b_when<2>,  b_when<3>,  b_when<4>,  b_when<5>,  b_when<6>,  b_when<7>,
    b_when<8>, b_when<9>, b_when<10>, b_when<11>, b_when<12>, b_when<13>, b_when<14>,
};

}  // namespace

// B<cond> <label>              (target A + 4 + 2 x signed imm8)
bool thumb_b_cond() {
    return branch_if((cpu_opcode >> 8) & 15, uint32_t(int32_t(int8_t(cpu_opcode & 0xFF))) * 2);
}

// SWI <imm8>
// As the ARM SWI: Supervisor mode in ARM state at vector 0x08, the SPSR
// holding this CPSR (T set) with its flags, r14 the next Thumb instruction,
// so that the handler's MOVS PC, LR resumes here in Thumb state.
bool thumb_swi() { return enter_software_interrupt(cpu_regs[15] - 2); }

// B <label>                    (offset 0 to +2046)
bool thumb_b_forward() { return branch_by(2 * (cpu_opcode & 0x3FF)); }

// B <label>                    (offset -2048 to -2)
bool thumb_b_backward() { return branch_by(2 * (cpu_opcode & 0x3FF) - 0x800); }

// BL <label>
// Both halfwords in one step of two cycles (thumb_cycles): this one gives
// offset bits 22-12, the next (whatever its top five bits) bits 11-1. A
// second half met on its own is taken as a first half.
bool thumb_bl() {
    uint32_t high = (cpu_opcode & 0x7FF) << 12;
    uint32_t low_half = fetch_halfword(cpu_regs[15] - 2);  // at A + 2
    uint32_t offset = high | ((low_half & 0x7FF) << 1);
    int32_t signed_offset = int32_t(offset << 9) >> 9;
    cpu_regs[14] = cpu_regs[15] + 1;  // A + 4, the next instruction, Thumb bit set
    cpu_regs[15] += uint32_t(signed_offset);
    return JUMPED;
}

DecodedRun thumb_b_cond_record(uint32_t cond) { return conditional_branches[cond]; }

extern const ThumbRecordForm thumb_branch_records[] = {
    {thumb_b_forward, b_record},
    {thumb_b_backward, b_record},
    {nullptr, nullptr},
};
