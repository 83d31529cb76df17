@ A routine rewritten and called again and again, in internal RAM and in
@ video RAM (written at 0x06010000, run through its mirror at 0x06018000).
@ Each call first writes the routine's first word, then calls it:
@     ADD r0, r0, #k
@     BX lr
@ Internal RAM: k = 0, 1, ..., 63, adding 0 + 1 + ... + 63 = 2016.
@ Video RAM: k = 0, 2, ..., 126, adding 4032. A pass returns 6048.
#include "passes.inc"

    .equ    IRAM_ROUTINE, 0x03006000
    .equ    VRAM_ROUTINE, 0x06010000
    .equ    VRAM_MIRROR, 0x06018000

    PASSES_MAIN 6048

pass_work:
    stmfd   sp!, {r4-r8, lr}
    mov     r0, #0
    ldr     r4, =IRAM_ROUTINE
    ldr     r5, =IRAM_ROUTINE
    mov     r6, #1                  @ k step
    bl      calls
    ldr     r4, =VRAM_ROUTINE
    ldr     r5, =VRAM_MIRROR
    mov     r6, #2
    bl      calls
    ldmfd   sp!, {r4-r8, lr}
    bx      lr

@ 64 calls: write ADD r0, r0, #k; BX lr at r4, call it at r5; k += r6.
calls:
    stmfd   sp!, {lr}
    ldr     r7, =0xE2800000         @ ADD r0, r0, #0
    ldr     r8, =0xE12FFF1E         @ BX lr
    mov     r3, #64
1:  str     r7, [r4]
    str     r8, [r4, #4]
    mov     lr, pc
    bx      r5
    add     r7, r7, r6
    subs    r3, r3, #1
    bne     1b
    ldmfd   sp!, {lr}
    bx      lr
    .ltorg
