@ Hand-written ARM kernels for the benchmark.
    .text
    .arm

@ void block_copy(uint32_t* to, const uint32_t* from, uint32_t words)
@ words is a multiple of 8.
    .global block_copy
block_copy:
    stmfd   sp!, {r4-r10}
1:  ldmia   r1!, {r3-r10}
    stmia   r0!, {r3-r10}
    subs    r2, r2, #8
    bne     1b
    ldmfd   sp!, {r4-r10}
    bx      lr

@ uint32_t multiply_accumulate(const uint32_t* v, uint32_t words, uint32_t seed)
@ A mix of MLA, UMULL, UMLAL, shifted operands and conditional execution.
    .global multiply_accumulate
multiply_accumulate:
    stmfd   sp!, {r4-r7, lr}
    mov     r3, #0                  @ high word of the 64-bit accumulator
    mov     r4, r2                  @ low word
1:  ldr     r5, [r0], #4
    mla     r2, r5, r2, r4
    umull   r6, r7, r5, r2
    umlal   r4, r3, r6, r7
    eor     r4, r4, r5, ror #7
    tst     r5, #1
    addne   r3, r3, r5, lsr #3
    subeq   r3, r3, r5, lsl #2
    subs    r1, r1, #1
    bne     1b
    eor     r0, r4, r3
    ldmfd   sp!, {r4-r7, pc}
