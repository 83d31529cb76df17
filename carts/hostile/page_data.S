@ A loop whose data shares its code's page: the routine below runs from
@ internal RAM (crt0 copies .iram there) and keeps its counter in the word
@ right after its last instruction, so every turn stores beside translated
@ code. Programs put code they want fast in internal RAM, with its data.
@
@ sum_down(n) adds n, n-1, ..., 1 into the counter through memory and
@ returns it: n = 1000 gives 1000 x 1001 / 2 = 500500. A pass calls it
@ twice, so 1001000 (0xF4628).
#include "passes.inc"

    PASSES_MAIN 1001000

pass_work:
    stmfd   sp!, {r4, lr}
    ldr     r4, =sum_down
    mov     r0, #1000
    mov     lr, pc
    bx      r4
    mov     r5, r0
    mov     r0, #1000
    mov     lr, pc
    bx      r4
    add     r0, r0, r5
    ldmfd   sp!, {r4, lr}
    bx      lr
    .ltorg

    .section .iram, "ax"
    .arm
sum_down:
    adr     r2, counter
    mov     r1, #0
    str     r1, [r2]
1:  ldr     r1, [r2]
    add     r1, r1, r0
    str     r1, [r2]
    subs    r0, r0, #1
    bne     1b
    ldr     r0, [r2]
    bx      lr
counter:
    .word   0
