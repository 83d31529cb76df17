// The sets of decoded records and the generic forms.
#include <array>
#include <utility>

#include "cpu/arm.h"
#include "cpu/decoded.h"
#include "cpu/thumb.h"
#include "memory/memory.h"

alignas(ARM_SET_BYTES) Decoded arm_decoded_sets[DECODED_SETS][ARM_PER_PAGE];
alignas(THUMB_SET_BYTES) Decoded thumb_decoded_sets[DECODED_SETS][THUMB_PER_PAGE];
uint32_t run_r15_bias;
uint32_t run_steps_set_aside;

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

// A handler that writes r15 and reports NEXT goes on at r15 - 4 (ARM) or
// r15 - 2 (Thumb), as the sequential fetch does; either way the run stops
// there.
namespace {

uint32_t arm_run_handler(Handler handler, Decoded* d, const uint8_t* code, uint32_t left) {
    uint32_t r15 = arm_r15_of(d);
    cpu_regs[15] = r15;
    cpu_opcode = d->word;
    if (handler()) return left - 1;
    if (cpu_regs[15] == r15) return arm_next(d, code, left);
    cpu_regs[15] -= 4;
    return left - 1;
}

uint32_t thumb_run_handler(Handler handler, Decoded* d, const uint8_t* code, uint32_t left) {
    uint32_t r15 = thumb_r15_of(d);
    cpu_regs[15] = r15;
    cpu_opcode = d->word;
    if (handler()) return (left - 1) | (d->cond == LONG_BRANCH ? LONG_STEP : 0);
    if (cpu_regs[15] == r15) return thumb_next(d, code, left);
    cpu_regs[15] -= 2;
    return left - 1;
}

}  // namespace

uint32_t arm_run_plain(Decoded* d, const uint8_t* code, uint32_t left) {
    return arm_run_handler(d->plain, d, code, left);
}
uint32_t thumb_run_plain(Decoded* d, const uint8_t* code, uint32_t left) {
    return thumb_run_handler(d->plain, d, code, left);
}
uint32_t arm_run_table(Decoded* d, const uint8_t* code, uint32_t left) {
    return arm_run_handler(arm_table[arm_index(d->word)], d, code, left);
}
uint32_t thumb_run_table(Decoded* d, const uint8_t* code, uint32_t left) {
    return thumb_run_handler(thumb_table[thumb_index(d->word)], d, code, left);
}

bool runs_stay_in_page = false;

namespace {

// What both sets do to go on at `target`: the bytes there, with `left`
// become the steps the run may take in the target's page (the steps set
// aside given back up to its end); or null where the run stops, with r15
// at the target.
[[gnu::always_inline]] inline const uint8_t* go_on_at(uint32_t target, uint32_t& left,
                                                      uint32_t per_page, uint32_t size) {
    uintptr_t page = fast_read_pages[fast_page_index(target)];
    if (--left == 0 || !page || runs_stay_in_page) [[unlikely]] {
        cpu_regs[15] = target;
        return nullptr;
    }
    const uint32_t room = per_page - (target / size) % per_page;
    const uint32_t steps = left + run_steps_set_aside;
    left = steps < room ? steps : room;
    run_steps_set_aside = steps - left;
    return reinterpret_cast<const uint8_t*>(page + (target & CONSOLE_ADDRESS_MASK & ~(size - 1)));
}

}  // namespace

uint32_t arm_continue_at(uint32_t target, uint32_t left) {
    const uint8_t* code = go_on_at(target, left, ARM_PER_PAGE, 4);
    if (!code) return left;
    Decoded* d = arm_decoded_at(target);
    arm_start_run(d, target + 8);
    return arm_enter(d, code, left);
}

uint32_t thumb_continue_at(uint32_t target, uint32_t left) {
    const uint8_t* code = go_on_at(target, left, THUMB_PER_PAGE, 2);
    if (!code) return left;
    Decoded* d = thumb_decoded_at(target);
    thumb_start_run(d, target + 4);
    return thumb_enter(d, code, left);
}

uint32_t arm_run_with_r15(Decoded* d, const uint8_t* code, uint32_t left) {
    cpu_regs[15] = arm_r15_of(d);
    return d->then(d, code, left);
}

uint32_t thumb_run_with_r15(Decoded* d, const uint8_t* code, uint32_t left) {
    cpu_regs[15] = thumb_r15_of(d);
    return d->then(d, code, left);
}

uint32_t arm_decode_and_run(Decoded* d, const uint8_t* code, uint32_t left) {
    arm_decode_into(*d, load_le32(code));
    return d->run(d, code, left);
}

uint32_t arm_decode_next_and_run(Decoded* d, const uint8_t* code, uint32_t left) {
    return arm_decode_and_run(d + 1, code + 4, left);
}

uint32_t thumb_decode_and_run(Decoded* d, const uint8_t* code, uint32_t left) {
    thumb_decode_into(*d, load_le16(code));
    return d->run(d, code, left);
}

uint32_t thumb_decode_next_and_run(Decoded* d, const uint8_t* code, uint32_t left) {
    return thumb_decode_and_run(d + 1, code + 2, left);
}

namespace {

// One wrapper per condition, so that each tests its own flags.
template <uint32_t cond>
uint32_t run_when(Decoded* d, const uint8_t* code, uint32_t left) {
    if (!condition_passed(cond)) return arm_next(d, code, left);
    cpu_regs[15] = arm_r15_of(d);
    return d->then(d, code, left);
}
template <uint32_t cond>
uint32_t run_plain_when(Decoded* d, const uint8_t* code, uint32_t left) {
    if (!condition_passed(cond)) return arm_next(d, code, left);
    return arm_run_plain(d, code, left);
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
