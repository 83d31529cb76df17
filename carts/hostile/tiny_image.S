@ Code that runs off the end of a tiny image. The image is a few hundred
@ bytes; the console shows zero words after it (ANDEQ r0, r0, r0, which
@ changes nothing) up to the end of the image region at 0x08FFFFFF, and the
@ image again from 0x09000000, where the start code runs once more and
@ calls main with lr in region 9.
@
@ main counts its entries from region 9 (laps) in internal RAM: on entry
@ from region 8 it starts at 0; each entry jumps to the image's last
@ instruction and falls off the end, some 4.2 million instructions a lap.
@ After LAPS laps main checks the count (case 1) and returns; LAPS 0 laps
@ for ever, counting every lap as passed.
    .equ    LAP_COUNT, 0x03006000

    .text
    .arm
    .global main
main:
    ldr     r4, =LAP_COUNT
    mov     r9, #0x03000000         @ results block
    mov     r1, lr, lsr #24
    cmp     r1, #8
    moveq   r0, #0
    ldrne   r0, [r4]
    addne   r0, r0, #1
    str     r0, [r4]
    beq     run_off
    ldr     r1, [r9, #8]            @ a lap, counted as passed
    add     r1, r1, #1
    str     r1, [r9, #8]
    ldr     r2, =LAPS
    cmp     r2, #0
    beq     run_off
    cmp     r0, r2
    blo     run_off
    mov     r0, #0                  @ done: the start code records the end
    bx      lr
    .ltorg

@ The last words of the image: Z set, then the zero words past the end.
run_off:
    movs    r0, #0
