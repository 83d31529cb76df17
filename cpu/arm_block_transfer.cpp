// ARM block transfers: LDM and STM in their four addressing modes, with
// write-back and the S bit (User-mode registers, or the exception return
// when LDM loads r15).
//
//   31  28 27 25 24 23 22 21 20 19  16 15                         0
//  | cond | 100 | P  U  S  W  L |  Rn  |        register list        |
// P: the transfers start one word past the base (IB, DB), else at it
// (IA, DA); U: the words lie above the base, else below it. Whatever the
// mode, the registers go lowest first to the lowest address and the bus
// sees the addresses in ascending order, as the ARM7TDMI issues them: an
// STMDB over DMA3's registers writes the source before the count that
// starts the copy.
//
// The addresses go to the bus as computed (the bus aligns them), so the
// base keeps its low two bits. Write-back follows each transfer: after k
// registers Rn holds the base stepped by 4 x k in the instruction's
// direction, so a base in the list meets the address stepped so far.
#include <bit>

#include "cpu/arm_handlers.h"
#include "cpu/cpu.h"
#include "cpu/data_access.h"

namespace {

constexpr uint32_t BIT_P = 1u << 24;
constexpr uint32_t BIT_U = 1u << 23;
constexpr uint32_t BIT_S = 1u << 22;
constexpr uint32_t BIT_W = 1u << 21;

// Register i as User mode sees it. While User or System runs these are the
// live registers; in FIQ mode User's r8-r14 wait in bank_usr, in the other
// modes User's r13 and r14.
uint32_t& user_register(uint32_t i) {
    RegisterSet* bank = mode_banks[cpu_cpsr & MODE_MASK];
    if (bank == &bank_usr) return cpu_regs[i];
    if (i == 13 || i == 14) return bank_usr.regs[i];
    if (bank == &bank_fiq && i >= 8 && i <= 12) return bank_usr.regs[i];
    return cpu_regs[i];
}

uint32_t lowest_listed(uint32_t list) {
    uint32_t i = 0;
    while (i < 16 && !((list >> i) & 1)) i++;
    return i;
}

// One pass over the list. With S, a store, or a load without r15, moves
// User mode's registers.
template <bool load>
bool block_transfer() {
    uint32_t opcode = cpu_opcode;
    uint32_t rn = (opcode >> 16) & 15;
    uint32_t list = opcode & 0xFFFF;
    bool up = opcode & BIT_U;
    bool user_bank = (opcode & BIT_S) && !(load && (list & 0x8000));
    uint32_t base = cpu_regs[rn];
    uint32_t span = 4 * uint32_t(std::popcount(list));
    uint32_t lowest_address = up ? base : base - span;
    // IB and DA start one word above IA and DB.
    if (bool(opcode & BIT_P) == up) lowest_address += 4;
    uint32_t lowest = lowest_listed(list);
    uint32_t a = lowest_address;
    uint32_t stepped = base;
    for (uint32_t i = 0; i < 16; i++) {
        if (!((list >> i) & 1)) continue;
        uint32_t& reg = user_bank ? user_register(i) : cpu_regs[i];
        if (load) {
            reg = cpu_read32(a);
        } else {
            // A base that is the lowest listed register is stored as it was
            // before the instruction.
            bool original = &reg == &cpu_regs[rn] && i == lowest;
            cpu_write32(a, original ? base : reg);
        }
        a += 4;
        stepped = up ? stepped + 4 : stepped - 4;
        if (opcode & BIT_W) cpu_regs[rn] = stepped;
    }
    if (!load || !(list & 0x8000)) return NEXT;
    if (opcode & BIT_S) return return_from_exception(cpu_regs[15]);
    cpu_regs[15] &= ~3u;
    return JUMPED;
}

// The record forms (cpu/arm_table.cpp chooses them): no S, a base other
// than r15 that is not in the list when it is written back, a list that is
// not empty and, for STM, holds no r15. Then every transfer finds the
// registers as they were and the write-back can follow them all. Words in
// one fast page move in place; others leave the whole instruction to the
// table's handler, before anything has changed.
uint32_t ldm_record(Decoded* d, const uint8_t* code, uint32_t left) {
    uint32_t base = cpu_regs[d->rn];
    const uint8_t* bytes = cpu_read_span((base + 4 * int32_t(d->lowest_word)) & ~3u, d->shift);
    if (!bytes) [[unlikely]]
        return arm_run_table(d, code, left);
    for (uint32_t list = d->operand; list; list &= list - 1, bytes += 4)
        cpu_regs[std::countr_zero(list)] = load_le32(bytes);
    if (d->written_back_word) cpu_regs[d->rn] = base + 4 * int32_t(d->written_back_word);
    if (!(d->operand & 0x8000)) return arm_next(d, code, left);
    return arm_continue_at(cpu_regs[15] & ~3u, left);
}

uint32_t stm_record(Decoded* d, const uint8_t* code, uint32_t left) {
    uint32_t base = cpu_regs[d->rn];
    uint8_t* bytes = cpu_write_span((base + 4 * int32_t(d->lowest_word)) & ~3u, d->shift);
    if (!bytes) [[unlikely]]
        return arm_run_table(d, code, left);
    for (uint32_t list = d->operand; list; list &= list - 1, bytes += 4)
        __builtin_memcpy(bytes, &cpu_regs[std::countr_zero(list)], 4);
    if (d->written_back_word) cpu_regs[d->rn] = base + 4 * int32_t(d->written_back_word);
    return arm_next(d, code, left);
}

}  // namespace

DecodedRun block_transfer_record(Decoded& d, uint32_t word) {
    uint32_t list = word & 0xFFFF;
    bool load = word & (1u << 20);
    bool up = word & BIT_U;
    if ((word & BIT_S) || d.rn == 15 || list == 0) return nullptr;
    if ((word & BIT_W) && ((list >> d.rn) & 1)) return nullptr;
    if (!load && (list & 0x8000)) return nullptr;
    int32_t count = std::popcount(list);
    int32_t lowest = up ? 0 : -count;
    if (bool(word & BIT_P) == up) lowest += 1;  // IB and DA
    d.operand = list;
    d.shift = uint8_t(count);
    d.lowest_word = int8_t(lowest);
    d.written_back_word = int8_t((word & BIT_W) ? (up ? count : -count) : 0);
    d.rd = d.rm = 0;  // bits of the list, not registers
    return load ? ldm_record : stm_record;
}

// STM{IA|DA}<c> <Rn>{!}, <registers>{^}
bool arm_stm_post() { return block_transfer<false>(); }
// LDM{IA|DA}<c> <Rn>{!}, <registers>{^}
bool arm_ldm_post() { return block_transfer<true>(); }
// STM{IB|DB}<c> <Rn>{!}, <registers>{^}
bool arm_stm_pre() { return block_transfer<false>(); }
// LDM{IB|DB}<c> <Rn>{!}, <registers>{^}
bool arm_ldm_pre() { return block_transfer<true>(); }
