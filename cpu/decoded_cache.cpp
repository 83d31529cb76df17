// The sets of decoded records and the two generic forms.
#include "cpu/arm.h"
#include "cpu/decoded.h"
#include "cpu/thumb.h"
#include "memory/memory.h"

Decoded arm_decoded_sets[DECODED_SETS][ARM_PER_PAGE];
Decoded thumb_decoded_sets[DECODED_SETS][THUMB_PER_PAGE];

namespace {

template <uint32_t PER_PAGE>
void reset_sets(Decoded (&sets)[DECODED_SETS][PER_PAGE], void (*decode)(Decoded&, uint32_t)) {
    Decoded zero{};
    decode(zero, 0);
    for (auto& set : sets)
        for (Decoded& d : set) d = zero;
}

}  // namespace

void reset_arm_decoded() { reset_sets<ARM_PER_PAGE>(arm_decoded_sets, arm_decode_into); }
void reset_thumb_decoded() { reset_sets<THUMB_PER_PAGE>(thumb_decoded_sets, thumb_decode_into); }

bool arm_run_plain(const Decoded& d) {
    uint32_t r15 = cpu_regs[15];
    cpu_opcode = d.word;
    if (d.plain()) return JUMPED;
    if (cpu_regs[15] == r15) return NEXT;
    cpu_regs[15] -= 4;
    return JUMPED;
}

bool thumb_run_plain(const Decoded& d) {
    uint32_t r15 = cpu_regs[15];
    cpu_opcode = d.word;
    if (d.plain()) return JUMPED;
    if (cpu_regs[15] == r15) return NEXT;
    cpu_regs[15] -= 2;
    return JUMPED;
}
