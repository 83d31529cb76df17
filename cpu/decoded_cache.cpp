// The sets of decoded records and the generic forms.
#include <array>
#include <utility>

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

namespace {

// One wrapper per condition, so that each tests its own flags.
template <uint32_t cond>
bool run_when(const Decoded& d) {
    if (!condition_passed(cond)) return NEXT;
    return d.then(d);
}
template <uint32_t cond>
bool run_plain_when(const Decoded& d) {
    if (!condition_passed(cond)) return NEXT;
    return arm_run_plain(d);
}

template <std::size_t... cond>
constexpr std::array<DecodedRun, 16> when_table(std::index_sequence<cond...>) {
    return {run_when<cond>...};
}
template <std::size_t... cond>
constexpr std::array<DecodedRun, 16> plain_when_table(std::index_sequence<cond...>) {
    return {run_plain_when<cond>...};
}

constexpr std::array<DecodedRun, 16> run_conditional = when_table(std::make_index_sequence<16>());
constexpr std::array<DecodedRun, 16> run_plain_conditional =
    plain_when_table(std::make_index_sequence<16>());

}  // namespace

DecodedRun arm_run_conditional(uint32_t cond) { return run_conditional[cond & 15]; }
DecodedRun arm_run_plain_conditional(uint32_t cond) { return run_plain_conditional[cond & 15]; }
