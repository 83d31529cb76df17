@ More than 64 KB of distinct straight-line ARM code in an endless loop, for
@ long runs: the recompiler's code buffer cannot hold the loop's translation,
@ so under the Dynarec method it is emptied and refilled several times per
@ pass, for as long as the program runs. Every pass checks its own result.
@
@ One pass is 16384 repetitions of
@     add r0, r0, #1      @ r0 counts the repetitions so far
@     add r1, r1, r0      @ r1 sums them
@ from r0 = r1 = 0, so after it r0 = 16384 and
@ r1 = 1 + 2 + ... + 16384 = 16384 x 16385 / 2 = 134225920 (0x08002000).
@ A right pass adds 1 to the results block's passed count, a wrong one to
@ the failed count (the first wrong pass's number, from 1, is kept).
    .text
    .arm
    .global main
main:
    mov     r4, #0x03000000         @ results block
    mov     r5, #0                  @ passes so far
pass:
    mov     r0, #0
    mov     r1, #0
    .rept   16384
    add     r0, r0, #1
    add     r1, r1, r0
    .endr
    add     r5, r5, #1
    ldr     r2, =16384
    cmp     r0, r2
    ldreq   r2, =134225920
    cmpeq   r1, r2
    ldreq   r2, [r4, #8]            @ passed
    addeq   r2, r2, #1
    streq   r2, [r4, #8]
    beq     pass
    ldr     r2, [r4, #12]           @ failed
    cmp     r2, #0
    streq   r5, [r4, #16]           @ first failing pass
    add     r2, r2, #1
    str     r2, [r4, #12]
    b       pass
    .pool
