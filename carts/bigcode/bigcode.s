@ More than 64 KB of distinct straight-line ARM code, run three times: the
@ recompiler's code buffer cannot hold its translation and must be emptied
@ and refilled while the program runs, and the results must not change.
@
@ One pass is 16384 repetitions of
@     add r0, r0, #1      @ r0 counts the repetitions so far
@     add r1, r1, r0      @ r1 sums them
@ so after three passes r0 = 3 x 16384 = 49152 and
@ r1 = 1 + 2 + ... + 49152 = 49152 x 49153 / 2 = 1207984128 (0x48003000).
    .text
    .arm
    .global main
main:
    stmfd   sp!, {r4, r5, lr}
    mov     r0, #0
    mov     r1, #0
    mov     r4, #3
pass:
    .rept   16384
    add     r0, r0, #1
    add     r1, r1, r0
    .endr
    subs    r4, r4, #1
    bne     pass

    mov     r5, r1
    ldr     r1, =49152              @ case 1: the count
    mov     r2, #1
    bl      check
    mov     r0, r5
    ldr     r1, =1207984128         @ case 2: the sum
    mov     r2, #2
    bl      check
    mov     r0, #0
    ldmfd   sp!, {r4, r5, lr}
    bx      lr

@ check: counts case r2 as passed when r0 equals r1, else as failed (the
@ first failure's number is kept).
check:
    ldr     r3, =0x03000000
    cmp     r0, r1
    ldreq   r0, [r3, #8]
    addeq   r0, r0, #1
    streq   r0, [r3, #8]
    bxeq    lr
    ldr     r0, [r3, #12]
    cmp     r0, #0
    streq   r2, [r3, #16]
    add     r0, r0, #1
    str     r0, [r3, #12]
    bx      lr
    .pool
