// The Dynarec method's run loop. The frame loop hands it what is left of a
// line's budget; it enters translated code with those cycles in COUNTER,
// and translated code runs block to block (linked, or through the indirect
// table, in ARM and Thumb code alike) until the counter cannot cover the
// next block or translated code was written over. Then C takes over: the
// interpreter runs the steps that no whole block fits, exactly as it would
// have run them itself.
//
// Blocks are found by a key: r15 when the block is entered, with bit 0 set
// for Thumb code (ARM keys are word-aligned, Thumb keys odd), so that the
// same address holds a block of each set.
#include <algorithm>
#include <bitset>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/thumb.h"
#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/backend.h"
#include "dynarec/block_cache.h"
#include "dynarec/block_starts.h"
#include "dynarec/code_buffer.h"
#include "dynarec/code_pages.h"
#include "dynarec/emitter.h"
#include "dynarec/invalidation.h"
#include "memory/memory.h"

using namespace x86;

uintptr_t leave_routine, dispatch_routine, link_routine, jumped_routine, next_routine;
uint64_t dynarec_flush_count = 0;
uint64_t blocks_translated = 0;
TranslatedClock translated_clock;

namespace {

// r15 where no block starts gives NO_KEY: an ARM r15 keeps the low bits a
// jump wrote (the fetch ignores them), and so may a Thumb r15 that an
// exception return wrote. Their instructions run on the interpreter.
uint32_t current_key() {
    uint32_t pc = cpu_regs[15];
    if (in_thumb_state()) return (pc & 1) ? NO_KEY : pc | 1;
    return (pc & 3) ? NO_KEY : pc;
}
bool thumb_key(uint32_t key) { return key & 1; }

// The extra cycles per step that translated_clock's costs hold.
uint32_t clock_extra = ~0u;

// A frame's lines take turns between two extras (none, and the h-blank's):
// the costs for the last two are kept, so that a change is a copy.
struct Costs {
    uint32_t extra = ~0u;
    int32_t costs[2][BLOCK_MAX_INSNS + 1];
    int32_t thumb_checks[BLOCK_MAX_INSNS + 1];
};
Costs recent_costs[2];
uint32_t last_filled = 0;

void set_clock(uint32_t extra) {
    if (extra == clock_extra) return;
    clock_extra = extra;
    Costs* kept = recent_costs[0].extra == extra   ? &recent_costs[0]
                  : recent_costs[1].extra == extra ? &recent_costs[1]
                                                   : nullptr;
    if (!kept) {
        last_filled ^= 1;
        kept = &recent_costs[last_filled];
        kept->extra = extra;
        for (uint32_t n = 0; n <= BLOCK_MAX_INSNS; n++) {
            kept->costs[0][n] = int32_t(n * (ARM_CYCLES + extra));
            kept->costs[1][n] = int32_t(n * (THUMB_CYCLES + extra));
            kept->thumb_checks[n] = kept->costs[1][n] + int32_t(ARM_CYCLES + extra);
        }
    }
    std::memcpy(translated_clock.costs, kept->costs, sizeof kept->costs);
    std::memcpy(translated_clock.thumb_checks, kept->thumb_checks, sizeof kept->thumb_checks);
}

// The entry routine: saves what the ABI wants kept, sets STATE and COUNTER
// and jumps into the block; the leave routine undoes it and returns the
// counter. Inside, the stack is 16-byte aligned for the calls blocks make.
using Enter = int32_t (*)(int32_t cycles, const uint8_t* block);
Enter enter_translated;

// Where the fixed routines end and blocks begin: emptying the cache keeps
// the routines.
uint32_t blocks_start = 0;

uint8_t* translate_block(uint32_t key);

// The fast pages that lost their write entry because they hold translated
// code (by their first address), given back when the cache is emptied.
std::vector<uint32_t> pages_without_fast_writes;
std::bitset<FAST_PAGE_COUNT> fast_writes_forbidden;

void forbid_fast_writes_at(uint32_t address) {
    uint32_t page = fast_page_index(address);
    if (fast_writes_forbidden[page]) return;
    fast_writes_forbidden[page] = true;
    pages_without_fast_writes.push_back(page << FAST_PAGE_SHIFT);
    forbid_fast_writes(page << FAST_PAGE_SHIFT);
}

// Whether the 4 KB page holds translated code (or held it since the cache
// was last emptied).
bool translated_in_page(uint32_t address) {
    return fast_writes_forbidden[fast_page_index(address)];
}

void allow_fast_writes_again() {
    for (uint32_t address : pages_without_fast_writes) allow_fast_writes(address);
    pages_without_fast_writes.clear();
    fast_writes_forbidden.reset();
}

// Every address a block's translation was read from: its instructions, and
// the second halfword of a Thumb BL pair.
template <typename Visit>
void for_each_code_address(const DecodedBlock& block, Visit visit) {
    for (uint32_t i = 0; i < block.count; i++) {
        const DecodedInsn& insn = block.insns[i];
        visit(insn.address);
        if (block.thumb && insn.kind == InsnKind::Branch && insn.link) visit(insn.address + 2);
    }
}

// The address of the first instruction of the block a key names.
uint32_t block_address(uint32_t key) { return thumb_key(key) ? key - 1 - 4 : key - 8; }

// Code that C leaves to the interpreter: where writes are not watched,
// where fetches read nothing but zero words (code that ran off the end of
// an array, the image's above all: each block would be translated to run
// once, as it ran there only by accident), and words whose stores keep
// dropping code, whose runs count towards their being translated again.
// And, for a while, the start of a block not yet met often enough to be
// worth translating (block_starts.h).
enum class Interpreted : uint8_t { NO, HERE, PAST_AN_ARRAY, NOT_YET };

Interpreted interpreted_at(uint32_t address, bool count_run) {
    int word = code_word(address);
    if (word == CODE_PAGE_CONSTANT) return Interpreted::PAST_AN_ARRAY;
    if (word < 0) return Interpreted::HERE;
    if (!word_interpreted(word)) return Interpreted::NO;
    if (count_run) note_interpreted_run(word);
    return Interpreted::HERE;
}

// How many times C meets a block start without a block before it
// translates one there. Where the start's 4 KB page holds translated code,
// the interpreter stops at every block start to look for a block, and C
// meets a start each time it runs: the fourth run translates. Elsewhere the
// interpreter runs through the page, and C meets a start only where code
// jumps into the page or a line starts: those starts are run many times
// more often than they are met, and code run through once a frame in a
// long chain of short blocks (bench_many_blocks) never repays its
// translation in a few seconds of running. Measured in bench/README.md.
constexpr uint32_t MEETINGS_NEAR_TRANSLATED_CODE = 4;
constexpr uint32_t MEETINGS_ELSEWHERE = 64;

uint32_t meetings_chosen = 0;  // dynarec_translate_after

uint32_t meetings_to_translate(uint32_t key) {
    if (meetings_chosen) return meetings_chosen;
    return translated_in_page(block_address(key)) ? MEETINGS_NEAR_TRANSLATED_CODE
                                                  : MEETINGS_ELSEWHERE;
}

// Who looks a block up: translated code (which never translates), or C,
// which translates a missing block only when the line's budget may still
// run all of it (else the interpreter runs the steps, and a block
// translated at every step of a line's last stretch would run never). The
// run loop translates only a start it has met often enough; a single step
// translates at once.
enum class Lookup {
    FROM_TRANSLATED,
    FROM_C,
    FROM_C_TRANSLATING_WHEN_MET_OFTEN,
    FROM_C_TRANSLATING
};

// The block to run for a key, or null when C must take over: code was
// written over, r15 is no place a block starts, or the code is left to the
// interpreter (and then `why` says so). Translated code only finds blocks;
// C translates, between runs, so that no translation (nor the emptying of
// a full buffer) happens under a running block.
uint8_t* find_block(uint32_t key, Lookup how, Interpreted* why = nullptr) {
    if (code_stale || key == NO_KEY) return nullptr;
    // The indirect table holds only blocks that may run, as the dispatch
    // routine relies on: where it has the key, nothing else need be asked.
    const IndirectEntry& front = indirect_table[indirect_index(key)];
    if (front.key == key) return reinterpret_cast<uint8_t*>(uintptr_t(front.code));
    Interpreted interpreted = interpreted_at(block_address(key), how != Lookup::FROM_TRANSLATED);
    if (interpreted != Interpreted::NO) {
        if (why) *why = interpreted;
        return nullptr;
    }
    // A block marks the page of its first instruction (forbid_fast_writes_at).
    uint8_t* code = translated_in_page(block_address(key)) ? cache_find(key) : nullptr;
    if (!code) {
        if (how == Lookup::FROM_TRANSLATED || how == Lookup::FROM_C) return nullptr;
        if (how == Lookup::FROM_C_TRANSLATING_WHEN_MET_OFTEN &&
            !met_often_enough(key, meetings_to_translate(key))) {
            if (why) *why = Interpreted::NOT_YET;
            return nullptr;
        }
        count_again(key);
        code = translate_block(key);
    }
    indirect_fill(key, code);
    return code;
}

// Called by the dispatch routine on a miss of the indirect table.
uint8_t* lookup_from_translated(uint32_t key) { return find_block(key, Lookup::FROM_TRANSLATED); }

// A block's id, in the word before its header.
uint32_t block_id(const uint8_t* entry) {
    uint32_t id;
    __builtin_memcpy(&id, entry - 8, 4);
    return id;
}

// Called by an unlinked exit, which stays in its block's instruction set:
// when the successor exists, the exit's jump is pointed at it until a store
// drops the successor.
uint8_t* link_from_translated(uint32_t site) {
    uint8_t* code = find_block(current_key(), Lookup::FROM_TRANSLATED);
    if (code && record_link(block_id(code), site)) {
        code_buffer_writable();
        link_exit(site, code);
        code_buffer_executable();
    }
    return code;
}

// A call of a C routine with one 32-bit argument in eax, from a fixed
// routine, the held registers in the record meanwhile; then on to the block
// it returns, or back to C for null.
void call_with_eax(uintptr_t routine) {
    emit_pool_write_back();
#if defined(__x86_64__)
    mov(edi, eax);
#else
    mov(mem(ptr(esp)), eax);
#endif
    call(routine);
    emit_pool_reload();
    test(eax, eax);  // a block's address is below 2 GiB, null is 0
    jcc(CC_E, leave_routine);
    jmp(ptr(eax));
}

void emit_fixed_routines() {
    code_buffer_writable();
    code_pos = 0;
    enter_translated = reinterpret_cast<Enter>(code_buffer + code_pos);
#if defined(__x86_64__)
    for (Reg32 r : {ebp, ebx, r12d, r13d, r14d, r15d}) push(ptr(r));
    alu_ptr(SUB, ptr(esp), 8);
    mov(COUNTER, edi);
    mov_ptr(STATE, uintptr_t(&cpu));
    mov(eax, esi);  // the block (below 2 GiB): esi is a held register
    emit_pool_reload();
    jmp(ptr(eax));
    leave_routine = uintptr_t(code_buffer) + code_pos;
    emit_pool_write_back();
    mov(eax, COUNTER);
    alu_ptr(ADD, ptr(esp), 8);
    for (Reg32 r : {r15d, r14d, r13d, r12d, ebx, ebp}) pop(ptr(r));
    ret();
#else
    for (Reg32 r : {ebp, ebx, esi, edi}) push(ptr(r));
    mov(COUNTER, mem(ptr(esp), 20));
    mov(eax, mem(ptr(esp), 24));
    alu_ptr(SUB, ptr(esp), 12);
    mov_ptr(STATE, uintptr_t(&cpu));
    emit_pool_reload();
    jmp(ptr(eax));
    leave_routine = uintptr_t(code_buffer) + code_pos;
    emit_pool_write_back();
    mov(eax, COUNTER);
    alu_ptr(ADD, ptr(esp), 12);
    for (Reg32 r : {edi, esi, ebx, ebp}) pop(ptr(r));
    ret();
#endif

    // dispatch: the key of r15 in the set the T bit names (as current_key
    // makes it; NO_KEY back to C) through the indirect table, else C.
    dispatch_routine = uintptr_t(code_buffer) + code_pos;
    mov(eax, state_field(&cpu_regs[15]));
    test8(state_field(&cpu_cpsr), uint8_t(CPSR_T));
    Fixup thumb = jcc_forward(CC_NE);
    test(eax, 3u);
    jcc(CC_NE, leave_routine);
    uintptr_t probe = uintptr_t(code_buffer) + code_pos;
    mov(ecx, eax);
    shift(SHR, ecx, 1);
    alu(AND, ecx, INDIRECT_ENTRIES - 1);
    mov(edx, uint32_t(uintptr_t(indirect_table)));
    alu(CMP, eax, mem(ptr(edx), ecx, 8));
    Fixup miss = jcc_forward(CC_NE);
    mov(ecx, mem(ptr(edx), ecx, 8, 4));
    jmp(ptr(ecx));
    patch_here(miss);
    indirect_miss = uint32_t(uintptr_t(code_buffer) + code_pos);
    call_with_eax(uintptr_t(&lookup_from_translated));
    patch_here(thumb);
    test(eax, 1u);
    jcc(CC_NE, leave_routine);
    alu(OR, eax, 1u);
    jmp(probe);

    // After a handler: r15 moves on by `arm` or `thumb` bytes, as cpu_refill
    // or arm_fetch and thumb_fetch move it (the latch is C's business).
    auto after_handler = [](uint32_t arm, uint32_t thumb) {
        uintptr_t routine = uintptr_t(code_buffer) + code_pos;
        mov(eax, arm);
        mov(ecx, thumb);
        test8(state_field(&cpu_cpsr), uint8_t(CPSR_T));
        cmov(CC_NE, eax, ecx);
        alu(ADD, state_field(&cpu_regs[15]), eax);
        alu8(CMP, absolute(&code_stale), 0);
        jcc(CC_NE, leave_routine);
        jmp(dispatch_routine);
        return routine;
    };
    jumped_routine = after_handler(8, 4);
    next_routine = after_handler(4, 2);

    // link: eax = the position of the exit's rel32.
    link_routine = uintptr_t(code_buffer) + code_pos;
    call_with_eax(uintptr_t(&link_from_translated));

    blocks_start = (code_pos + 63) & ~63u;
    code_buffer_executable();
}

// The block ends where the interpreter takes over; its first word is never
// an interpreted one (find_block).
void stop_before_interpreted_words(DecodedBlock& block) {
    for (uint32_t i = 1; i < block.count; i++) {
        int word = code_word(block.insns[i].address);
        if (word >= 0 && word_interpreted(word)) {
            block.count = i;
            break;
        }
    }
}

// The bytes a block's translation was read from, from block.start.
uint32_t code_bytes_of(const DecodedBlock& block) {
    uint32_t end = block.start;
    for_each_code_address(
        block, [&](uint32_t address) { end = std::max(end, address + insn_bytes(block)); });
    return end - block.start;
}

// A block's code starts with its id, then emit_block's header.
uint8_t* translate_block(uint32_t key) {
    DecodedBlock block;
    if (thumb_key(key))
        decode_thumb_block(block_address(key), block);
    else
        decode_arm_block(block_address(key), block);
    stop_before_interpreted_words(block);
    compute_flag_liveness(block);
    if (code_pos + 4 + block_code_bound(block) > code_buffer_size || cache_full() || blocks_full())
        dynarec_flush();
    for_each_code_address(block, forbid_fast_writes_at);
    uint32_t id = register_block(key, block.start, code_bytes_of(block));
    code_buffer_writable();
    emit_u32(id);
    uint8_t* entry = emit_block(block);
    code_buffer_executable();
    cache_insert(key, entry);
    blocks_translated++;
    return entry;
}

uint32_t header_of(const uint8_t* entry) {
    uint32_t header;
    __builtin_memcpy(&header, entry - 4, 4);
    return header;
}

struct Ran {
    uint32_t cycles, steps;
};

// Runs translated code with `cycles` in the counter and leaves the
// processor exact (the latch too). The steps follow from the cycles: every
// ARM step costs the same, and Thumb blocks counted theirs.
Ran run_translated(uint32_t cycles, const uint8_t* entry) {
    translated_clock.thumb_steps = 0;
    translated_clock.surplus_cycles = 0;
    int32_t bias = translated_clock.costs[0][1];  // an ARM step: see TranslatedClock
    int32_t left = enter_translated(int32_t(cycles) + bias, entry) - bias;
    if (in_thumb_state())
        cpu_opcode = fetch_halfword(cpu_regs[15] - 4);
    else
        cpu_opcode = fetch_word(cpu_regs[15] - 8);
    uint32_t used = uint32_t(int32_t(cycles) - left);
    uint32_t thumb_steps = translated_clock.thumb_steps;
    uint32_t thumb_cycles =
        thumb_steps * (THUMB_CYCLES + clock_extra) + translated_clock.surplus_cycles;
    uint32_t arm_steps = (used - thumb_cycles) / (ARM_CYCLES + clock_extra);
    return {used, arm_steps + thumb_steps};
}

// One step on the interpreter, in the current instruction set.
Ran interpret_step(uint32_t extra) {
    if (in_thumb_state()) return {thumb_execute() + extra, 1};
    arm_execute();
    return {ARM_CYCLES + extra, 1};
}

uint32_t current_address() { return cpu_regs[15] - (in_thumb_state() ? 4 : 8); }

// The cycles of a usual step of the current instruction set, with `extra`.
uint32_t step_cost(uint32_t extra) {
    return (in_thumb_state() ? THUMB_CYCLES : ARM_CYCLES) + extra;
}

Ran interpret_stretch(uint32_t left, uint32_t extra, StretchEnd end) {
    Stretch ran = cpu_run_stretch(left, extra, end, BLOCK_MAX_INSNS);
    return {ran.cycles, ran.steps};
}

// Up to where a block would start: after a jump, or at the start of a
// stretch of BLOCK_MAX_INSNS instructions, where long straight-line code is
// cut into blocks (end_at_stretch_boundary).
Ran interpret_to_block_start(uint32_t left, uint32_t extra) {
    return interpret_stretch(left, extra, StretchEnd::BLOCK_START);
}

// From a block start not yet worth translating. Where its 4 KB page holds
// no translated code there is no block to run before the code leaves the
// page, and the interpreter runs on to there at its own speed, and on
// through the pages the code runs into in turn while they hold none
// either: straight-line code meets no block start at a page's start, as
// it meets none inside a page. A loop within the page is met again where
// the next line starts.
Ran interpret_cold_code(uint32_t left, uint32_t extra) {
    if (translated_in_page(current_address())) return interpret_to_block_start(left, extra);
    Ran ran{0, 0};
    uint32_t page;
    do {
        page = current_address() >> FAST_PAGE_SHIFT;
        Ran stretch = interpret_stretch(left - ran.cycles, extra, StretchEnd::PAGE_END);
        ran.cycles += stretch.cycles;
        ran.steps += stretch.steps;
    } while (ran.cycles < left && current_address() == (page + 1) << FAST_PAGE_SHIFT &&
             !translated_in_page(current_address()));
    return ran;
}

// Whether `left` cycles may still run a whole block of the current
// instruction set, so that translating one now is worth it.
bool whole_block_fits(uint32_t left, uint32_t extra) {
    uint32_t step = step_cost(extra);
    return left >= BLOCK_MAX_INSNS * step;
}

// The block a run left for want of cycles: the interpreter ran the line's
// last steps into it, so the next line starts inside it.
struct Unfinished {
    uint32_t key = NO_KEY;
    uint32_t steps = 0;
};
Unfinished unfinished;

// The unfinished block's steps from r15 on, where a line starts inside it;
// else 0. Only a hint of where the next block starts: the interpreter runs
// whatever the words are now.
uint32_t steps_left_in_unfinished() {
    if (unfinished.key == NO_KEY || thumb_key(unfinished.key) != in_thumb_state()) return 0;
    uint32_t size = in_thumb_state() ? 2 : 4;
    uint32_t done = current_address() - block_address(unfinished.key);
    if (done == 0 || done % size || done / size >= unfinished.steps) return 0;
    return unfinished.steps - done / size;
}

// Whether the block may run on `left` cycles: it does while they exceed
// what all its steps but the last cost. A step costs at least its set's
// usual cycles, so where even that many fail, entering it only to leave is
// spared.
bool fits(const uint8_t* code, uint32_t left) {
    uint32_t steps = header_of(code) >> 16;
    uint32_t step = step_cost(clock_extra);
    return left > (steps - 1) * step;
}

}  // namespace

bool dynarec_available() { return true; }

void dynarec_translate_after(uint32_t meetings) { meetings_chosen = meetings; }

uint32_t dynarec_step() {
    code_stale = false;  // what a store dropped is out of the cache already
    uint8_t* code = find_block(current_key(), Lookup::FROM_C_TRANSLATING);
    set_clock(0);
    Ran ran = code ? run_translated(header_of(code) & 0xFFFF, code) : interpret_step(0);
    return ran.cycles | ran.steps << 16;
}

uint32_t dynarec_run(uint32_t budget, uint32_t extra, uint64_t& steps) {
    set_clock(extra);
    uint32_t sum = 0;
    // A line starts where the last one ran out, mostly inside a block's run
    // of code: a block translated there would start where nothing jumps to
    // and run about once. So at first C runs only a block it has, or the
    // interpreter runs up to where a block would start.
    bool line_start = true;
    if (uint32_t rest = steps_left_in_unfinished()) {
        // The rest of that block on the interpreter's records, which count
        // their steps themselves.
        uint32_t step = step_cost(extra);
        sum = cpu_interpret(0, std::min(budget, rest * step), extra);
        line_start = false;
    }
    unfinished = {};
    while (sum < budget) {
        code_stale = false;
        uint32_t left = budget - sum;
        bool worth_translating = whole_block_fits(left, extra);
        Lookup how = worth_translating && !line_start ? Lookup::FROM_C_TRANSLATING_WHEN_MET_OFTEN
                                                      : Lookup::FROM_C;
        Interpreted why = Interpreted::NO;
        uint8_t* code = find_block(current_key(), how, &why);
        Ran ran{0, 0};
        if (code) {
            if (fits(code, left)) ran = run_translated(left, code);
            if (ran.steps == 0) {  // no whole block fits
                unfinished = {current_key(), header_of(code) >> 16};
                break;
            }
        } else if (why == Interpreted::PAST_AN_ARRAY) {
            ran = interpret_stretch(left, extra, StretchEnd::PAGE_END);
        } else if (why == Interpreted::HERE || current_key() == NO_KEY) {
            ran = interpret_step(extra);
        } else if (why == Interpreted::NOT_YET) {
            ran = interpret_cold_code(left, extra);
        } else if (line_start && worth_translating) {
            ran = interpret_to_block_start(left, extra);
        } else {
            break;  // no block here, and too little budget to make one
        }
        line_start = false;
        sum += ran.cycles;
        steps += ran.steps;
    }
    return sum;
}

void dynarec_flush() {
    cache_clear();
    forget_blocks();
    code_pos = blocks_start;
    clear_code_pages();
    count_all_again();
    allow_fast_writes_again();
    code_stale = false;
    dynarec_flush_count++;
}

void dynarec_start() {
    emit_fixed_routines();
    dynarec_flush();
}

void dynarec_stop() { dynarec_flush(); }

#else

// Not an x86 host: the method is not built, F6 does nothing.
bool dynarec_available() { return false; }
uint64_t dynarec_flush_count = 0;
uint64_t blocks_translated = 0;
uint32_t dynarec_step() { return (in_thumb_state() ? thumb_step() : arm_step()) | 1u << 16; }
uint32_t dynarec_run(uint32_t, uint32_t, uint64_t&) { return 0; }
void dynarec_translate_after(uint32_t) {}
void code_buffer_init() {}
void code_buffer_release() {}
void dynarec_flush() {}
void dynarec_start() {}
void dynarec_stop() {}

#endif
