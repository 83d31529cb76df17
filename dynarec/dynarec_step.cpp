// The Dynarec method's step: one translated block per call, found
// through the two-entry memo, then the cache, else translated now.
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/block_cache.h"
#include "dynarec/code_pages.h"
#include "dynarec/emitter.h"
#include "dynarec/step_memo.h"
#include "dynarec/translator.h"
#include "memory/memory.h"
#include "video/video.h"

memo_entry step_memo[2];
uint64_t dynarec_flush_count = 0;

// The entry stub: calls the block so that the block's own calls see the
// ABI's 16-byte stack alignment (the block pushes nothing itself). 64-bit:
// entered with rsp = 8 mod 16, the call makes it 0 inside the block. 32-bit:
// entered with esp = 12 mod 16 and the block's address on the stack.
extern "C" uint32_t dynarec_enter(const uint8_t* block);
#if defined(__x86_64__)
asm(R"(
    .text
    .globl dynarec_enter
    .type dynarec_enter, @function
dynarec_enter:
    call *%rdi
    ret
    .size dynarec_enter, .-dynarec_enter
)");
#else
asm(R"(
    .text
    .globl dynarec_enter
    .type dynarec_enter, @function
dynarec_enter:
    movl 4(%esp), %eax
    subl $8, %esp
    call *%eax
    addl $8, %esp
    ret
    .size dynarec_enter, .-dynarec_enter
)");
#endif

bool dynarec_available() { return true; }

uint32_t dynarec_step() {
    if (code_stale) dynarec_flush();  // the last block wrote over translated code
    uint32_t pc = cpu_regs[15];
    uint32_t cycles;
    uint8_t* code;
    if (pc == step_memo[0].pc && step_memo[0].code) {
        code = step_memo[0].code;
    } else if (pc == step_memo[1].pc && step_memo[1].code) {
        code = step_memo[1].code;  // no reordering
    } else if (code_page(pc - 8) == CODE_PAGE_UNWATCHED) {
        code = nullptr;  // writes there are not watched: never translated
    } else {
        code = cache_find(pc);
        if (!code) code = translate_block(pc);
        step_memo[1] = step_memo[0];
        step_memo[0] = {pc, code};
    }
    if (code) {
        cycles = dynarec_enter(code) & 0xFFFF;
        steps_taken += cycles / ARM_CYCLES - 1;  // the frame loop counts the call as one
    } else {
        cycles = arm_step() & 0xFFFF;
    }
    return cycles;
}

void dynarec_flush() {
    cache_clear();
    step_memo[0] = step_memo[1] = {0, nullptr};
    code_pos = 0;
    clear_code_pages();
    dynarec_flush_count++;
}

// The code-write watch follows the page marks (clear_code_pages removes
// it), so starting and stopping only need an empty cache.
void dynarec_start() { dynarec_flush(); }

void dynarec_stop() { dynarec_flush(); }

#else

// Not an x86 host: the method is not built, F6 does nothing and nothing
// ever calls dynarec_step.
bool dynarec_available() { return false; }
uint64_t dynarec_flush_count = 0;
uint32_t dynarec_step() { return arm_step(); }
void code_buffer_init() {}
void code_buffer_release() {}
void dynarec_flush() {}
void dynarec_start() {}
void dynarec_stop() {}

#endif
