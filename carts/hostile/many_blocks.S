@ More distinct blocks than a small code buffer holds, run in a loop: 8192
@ blocks of the image, each
@     ADD r0, r0, #1      @ r0 counts the blocks run so far
@     ADD r1, r1, r0      @ r1 sums the counts
@     B   next block
@ From r0 = r1 = 0 a pass gives r0 = 8192 and r1 = 8192 x 8193 / 2 =
@ 33558528; it returns r1 + r0 = 33566720 (0x2003000).
#include "passes.inc"

    PASSES_MAIN 33566720

pass_work:
    mov     r0, #0
    mov     r1, #0
    .rept   8192
    add     r0, r0, #1
    add     r1, r1, r0
    b       .+4
    .endr
    add     r0, r1, r0
    bx      lr
