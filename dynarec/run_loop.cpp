// The Dynarec method's run loop. The frame loop hands it what is left of a
// line's budget; it converts that into steps, enters translated code with
// them in COUNTER, and translated code runs block to block (linked, or
// through the indirect table) until the counter cannot cover the next
// block, the processor leaves ARM state, or translated code was written
// over. Then C takes over: the interpreter runs the steps that no whole
// block fits, exactly as it would have run them itself.
#include <bitset>
#include <initializer_list>
#include <vector>

#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/backend.h"
#include "dynarec/block_cache.h"
#include "dynarec/code_buffer.h"
#include "dynarec/code_pages.h"
#include "dynarec/emitter.h"
#include "dynarec/invalidation.h"
#include "memory/memory.h"

using namespace x86;

uintptr_t leave_routine, dispatch_routine, link_routine;
uint64_t dynarec_flush_count = 0;
uint64_t blocks_translated = 0;

namespace {

// The entry routine: saves what the ABI wants kept, sets STATE and COUNTER
// and jumps into the block; the leave routine undoes it and returns the
// counter. Inside, the stack is 16-byte aligned for the calls blocks make.
using Enter = uint32_t (*)(uint32_t steps, const uint8_t* block);
Enter enter_translated;

// Where the fixed routines end and blocks begin: emptying the cache keeps
// the routines.
uint32_t blocks_start = 0;

uint8_t* translate_block(uint32_t pc);

// The fast pages that lost their write entry because they hold translated
// code (by their first address), given back when the cache is emptied.
std::vector<uint32_t> pages_without_fast_writes;
std::bitset<FAST_PAGE_COUNT> fast_writes_forbidden;

void forbid_fast_writes_over(const DecodedBlock& block) {
    for (uint32_t i = 0; i < block.count; i++) {
        uint32_t page = fast_page_index(block.insns[i].address);
        if (fast_writes_forbidden[page]) continue;
        fast_writes_forbidden[page] = true;
        pages_without_fast_writes.push_back(page << FAST_PAGE_SHIFT);
        forbid_fast_writes(page << FAST_PAGE_SHIFT);
    }
}

void allow_fast_writes_again() {
    for (uint32_t address : pages_without_fast_writes) allow_fast_writes(address);
    pages_without_fast_writes.clear();
    fast_writes_forbidden.reset();
}

// Code that C leaves to the interpreter: where writes are not watched,
// where fetches read nothing but zero words (code that ran off the end of
// an array, the image's above all: each block would be translated to run
// once, as it ran there only by accident), and words whose stores keep
// dropping code, whose runs count towards their being translated again.
enum class Interpreted : uint8_t { NO, HERE, PAST_AN_ARRAY };

Interpreted interpreted_at(uint32_t address, bool count_run) {
    int word = code_word(address);
    if (word == CODE_PAGE_CONSTANT) return Interpreted::PAST_AN_ARRAY;
    if (word < 0) return Interpreted::HERE;
    if (!word_interpreted(word)) return Interpreted::NO;
    if (count_run) note_interpreted_run(word);
    return Interpreted::HERE;
}

// Who looks a block up: translated code (which never translates), or C,
// which translates a missing block only when the line's budget may still
// run all of it (else the interpreter runs the steps, and a block
// translated at every step of a line's last stretch would run never).
enum class Lookup { FROM_TRANSLATED, FROM_C, FROM_C_TRANSLATING };

// The block to run at pc (r15 = its address + 8), or null when C must take
// over: code was written over, the processor is in Thumb state, or the
// code is left to the interpreter (and then `why` says so). Translated
// code only finds blocks; C translates, between runs, so that no
// translation (nor the emptying of a full buffer) happens under a running
// block.
uint8_t* find_block(uint32_t pc, Lookup how, Interpreted* why = nullptr) {
    if (code_stale || in_thumb_state() || (pc & 3)) return nullptr;
    Interpreted interpreted = interpreted_at(pc - 8, how != Lookup::FROM_TRANSLATED);
    if (interpreted != Interpreted::NO) {
        if (why) *why = interpreted;
        return nullptr;
    }
    uint8_t* code = cache_find(pc);
    if (!code) {
        if (how != Lookup::FROM_C_TRANSLATING) return nullptr;
        code = translate_block(pc);
    }
    indirect_fill(pc, code);
    return code;
}

// Called by the dispatch routine on a miss of the indirect table.
uint8_t* lookup_from_translated(uint32_t pc) { return find_block(pc, Lookup::FROM_TRANSLATED); }

// A block's id, in the header word before its instruction count.
uint32_t block_id(const uint8_t* entry) {
    uint32_t id;
    __builtin_memcpy(&id, entry - 8, 4);
    return id;
}

// Called by an unlinked exit: when the successor exists, the exit's jump is
// pointed at it until a store drops the successor.
uint8_t* link_from_translated(uint32_t site) {
    uint8_t* code = find_block(cpu_regs[15], Lookup::FROM_TRANSLATED);
    if (code && record_link(block_id(code), site)) {
        code_buffer_writable();
        link_exit(site, code);
        code_buffer_executable();
    }
    return code;
}

// A call of a C routine with one 32-bit argument in eax, from a fixed
// routine; then on to the block it returns, or back to C for null.
void call_with_eax(uintptr_t routine) {
#if defined(__x86_64__)
    mov(edi, eax);
#else
    mov(mem(ptr(esp)), eax);
#endif
    call(routine);
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
    jmp(ptr(esi));
    leave_routine = uintptr_t(code_buffer) + code_pos;
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
    jmp(ptr(eax));
    leave_routine = uintptr_t(code_buffer) + code_pos;
    mov(eax, COUNTER);
    alu_ptr(ADD, ptr(esp), 12);
    for (Reg32 r : {edi, esi, ebx, ebp}) pop(ptr(r));
    ret();
#endif

    // dispatch: r15 through the indirect table, else C.
    dispatch_routine = uintptr_t(code_buffer) + code_pos;
    mov(eax, state_field(&cpu_regs[15]));
    mov(ecx, eax);
    shift(SHR, ecx, 2);
    alu(AND, ecx, INDIRECT_ENTRIES - 1);
    mov(edx, uint32_t(uintptr_t(indirect_table)));
    alu(CMP, eax, mem(ptr(edx), ecx, 8));
    Fixup miss = jcc_forward(CC_NE);
    mov(ecx, mem(ptr(edx), ecx, 8, 4));
    jmp(ptr(ecx));
    patch_here(miss);
    indirect_miss = uint32_t(uintptr_t(code_buffer) + code_pos);
    call_with_eax(uintptr_t(&lookup_from_translated));

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

// A block's code starts with its id, then emit_block's header.
uint8_t* translate_block(uint32_t pc) {
    DecodedBlock block;
    decode_arm_block(pc - 8, block);
    stop_before_interpreted_words(block);
    compute_flag_liveness(block);
    if (code_pos + 4 + block_code_bound(block) > code_buffer_size || cache_full() || blocks_full())
        dynarec_flush();
    forbid_fast_writes_over(block);
    uint32_t id = register_block(pc, block.start, 4 * block.count);
    code_buffer_writable();
    emit_u32(id);
    uint8_t* entry = emit_block(block);
    code_buffer_executable();
    cache_insert(pc, entry);
    blocks_translated++;
    return entry;
}

uint32_t block_length(const uint8_t* entry) {
    uint32_t count;
    __builtin_memcpy(&count, entry - 4, 4);
    return count;
}

// Runs translated code with `steps` in the counter; returns how many ran
// and leaves the processor exact (the latch too).
uint32_t run_translated(uint32_t steps, const uint8_t* entry) {
    uint32_t left = enter_translated(steps, entry);
    if (!in_thumb_state()) cpu_opcode = fetch_word(cpu_regs[15] - 8);
    return steps - left;
}

}  // namespace

bool dynarec_available() { return true; }

bool refill_after_jump() {
    cpu_refill();
    return !in_thumb_state() && !code_stale;
}
bool fetch_after_handler() {
    arm_fetch();
    return !in_thumb_state() && !code_stale;
}

uint32_t dynarec_step() {
    code_stale = false;
    uint8_t* code = find_block(cpu_regs[15], Lookup::FROM_C_TRANSLATING);
    if (!code) return arm_step();
    return run_translated(block_length(code), code) * ARM_CYCLES;
}

namespace {

// Steps of the interpreter in code past an array, as many as stay in its
// 1 KB page and `allowed` allows, so that C's look-up is paid once a page
// there instead of once an instruction.
uint32_t interpret_page(uint32_t allowed) {
    uint32_t page = (cpu_regs[15] - 8) >> CODE_PAGE_SHIFT;
    uint32_t done = 0;
    do {
        arm_execute();
        done++;
    } while (done < allowed && !in_thumb_state() && (cpu_regs[15] - 8) >> CODE_PAGE_SHIFT == page);
    return done;
}

}  // namespace

uint32_t dynarec_run(uint32_t budget, uint32_t extra, uint64_t& steps) {
    const uint32_t per_step = ARM_CYCLES + extra;
    uint32_t sum = 0;
    while (sum < budget && !in_thumb_state()) {
        code_stale = false;  // what a store dropped is out of the cache already
        // The steps the interpreter would still run: it starts one while
        // the sum is below the budget.
        uint32_t allowed = (budget - sum + per_step - 1) / per_step;
        Lookup how = allowed >= BLOCK_MAX_INSNS ? Lookup::FROM_C_TRANSLATING : Lookup::FROM_C;
        Interpreted why = Interpreted::NO;
        uint8_t* code = find_block(cpu_regs[15], how, &why);
        uint32_t done = code ? run_translated(allowed, code) : 0;
        if (done == 0 && why == Interpreted::PAST_AN_ARRAY) {
            done = interpret_page(allowed);
        } else if (done == 0) {  // no whole block fits, or none can run here
            arm_execute();
            done = 1;
        }
        sum += done * per_step;
        steps += done;
    }
    return sum;
}

void dynarec_flush() {
    cache_clear();
    forget_blocks();
    code_pos = blocks_start;
    clear_code_pages();
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
uint32_t dynarec_step() { return arm_step(); }
uint32_t dynarec_run(uint32_t budget, uint32_t extra, uint64_t& steps) {
    uint32_t sum = 0;
    while (sum < budget && !in_thumb_state()) {
        arm_execute();
        sum += ARM_CYCLES + extra;
        steps++;
    }
    return sum;
}
void code_buffer_init() {}
void code_buffer_release() {}
void dynarec_flush() {}
void dynarec_start() {}
void dynarec_stop() {}

#endif
