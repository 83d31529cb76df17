@ Code that writes the instruction it runs next: a store, a block store, a
@ swap and a DMA3 copy, each rewriting the word right after itself. The
@ console's interpreter fetches an instruction after the one before has
@ finished, so the new word is the one that runs.
@
@ Each case starts with a store that puts the old word back (itself a write
@ into a later instruction of the running code), then rewrites it:
@   STR   MOV r0, #0xEE       -> MOV r0, #0x11
@   STM   MOV r0, #0xEE       -> MOV r0, #0x22
@   SWP   MOV r0, #0xEE       -> MOV r0, #0x33 (the swap returns the old word)
@   DMA3  MOV r0, #0xEE       -> MOV r0, #0x44
@   STR   ADDNE r0, r0, #0x80 -> ADDEQ r0, r0, #0x55, with Z set: the new
@         condition passes where the old one failed
@ A pass returns 0x11 + 0x22 + 0x33 + 0x44 + 0x55 = 0xFF, plus the
@ difference between the swapped-out word and MOV r0, #0xEE (0).
#include "passes.inc"

    PASSES_MAIN 0xFF

pass_work:
    stmfd   sp!, {r4-r6, lr}
    ldr     r4, =case_str
    mov     lr, pc
    bx      r4
    mov     r5, r0
    ldr     r4, =case_stm
    mov     lr, pc
    bx      r4
    add     r5, r5, r0
    ldr     r4, =case_swp
    mov     lr, pc
    bx      r4
    add     r5, r5, r0
    ldr     r4, =case_dma
    mov     lr, pc
    bx      r4
    add     r5, r5, r0
    ldr     r4, =case_condition
    mov     lr, pc
    bx      r4
    add     r0, r5, r0
    ldmfd   sp!, {r4-r6, lr}
    bx      lr
    .ltorg

    .section .iram, "ax"
    .arm
case_str:
    ldr     r1, old_mov
    ldr     r2, =0xE3A00011         @ MOV r0, #0x11
    str     r1, 1f
    str     r2, 1f
1:  mov     r0, #0xEE
    bx      lr

case_stm:
    ldr     r1, old_mov
    ldr     r2, =0xE3A00022         @ MOV r0, #0x22
    adr     r3, 1f
    str     r1, [r3]
    stmia   r3, {r2}
1:  mov     r0, #0xEE
    bx      lr

case_swp:
    ldr     r1, old_mov
    ldr     r2, =0xE3A00033         @ MOV r0, #0x33
    adr     r3, 1f
    str     r1, [r3]
    swp     r12, r2, [r3]
1:  mov     r0, #0xEE
    sub     r12, r12, r1            @ 0 when the swap read the old word
    add     r0, r0, r12
    bx      lr

@ DMA3 copies one word from new_dma to the next instruction; the copy runs
@ inside the store to its control register.
case_dma:
    ldr     r1, old_mov
    adr     r3, 1f
    str     r1, [r3]
    mov     r12, #0x04000000
    adr     r2, new_dma
    str     r2, [r12, #0xD4]        @ source
    str     r3, [r12, #0xD8]        @ destination
    ldr     r2, =0x84000001         @ enable, 32-bit units, 1 unit
    str     r2, [r12, #0xDC]
1:  mov     r0, #0xEE
    bx      lr

case_condition:
    ldr     r1, old_addne
    ldr     r2, =0x02800055         @ ADDEQ r0, r0, #0x55
    mov     r0, #0
    cmp     r0, #0                  @ Z set
    str     r1, 1f
    str     r2, 1f
1:  addne   r0, r0, #0x80
    bx      lr

old_mov:
    mov     r0, #0xEE
old_addne:
    addne   r0, r0, #0x80
new_dma:
    mov     r0, #0x44
    .ltorg
