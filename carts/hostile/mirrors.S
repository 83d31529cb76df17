@ 4096 blocks of one instruction whose addresses share their low 12 bits:
@ work RAM (256 KB) shows again every 0x40000 bytes up to 0x02FFFFFF, 64
@ times. Setup writes, at work RAM offsets 0x800 + k x 0x1000,
@     k = 0..62:  B .+0x1000
@     k = 63:     ADD r0, r0, r1 ; BX lr
@ A pass calls 0x02000800 + m x 0x40000 with r1 = m for m = 0..63: each call
@ runs the chain through 64 addresses of mirror m, so a pass runs 4096
@ distinct blocks, and r0 = 0 + 1 + ... + 63 = 2016.
#include "passes.inc"

    .equ    CHAIN, 0x02000800

    PASSES_MAIN 2016, setup

setup:
    ldr     r0, =CHAIN
    ldr     r1, =0xEA0003FE         @ B .+0x1000
    mov     r2, #63
    mov     r3, #0x1000
1:  str     r1, [r0], r3
    subs    r2, r2, #1
    bne     1b
    ldr     r1, =0xE0800001         @ ADD r0, r0, r1
    str     r1, [r0]
    ldr     r1, =0xE12FFF1E         @ BX lr
    str     r1, [r0, #4]
    bx      lr

pass_work:
    stmfd   sp!, {r4, lr}
    mov     r0, #0
    mov     r1, #0
    ldr     r4, =CHAIN
1:  mov     lr, pc
    bx      r4
    add     r4, r4, #0x40000
    add     r1, r1, #1
    cmp     r1, #64
    bne     1b
    ldmfd   sp!, {r4, lr}
    bx      lr
    .ltorg
