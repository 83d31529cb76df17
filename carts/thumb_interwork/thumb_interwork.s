@ Crossing between the states: ARM to Thumb and back through BX in both
@ directions, a Thumb entry at an address with bit 1 set, and SWI from Thumb
@ code, which the BIOS handler returns from in Thumb state with every
@ register and flag as it was. main is ARM code; the checks run in Thumb.
    .include "thumb_check.inc"

    .text
    .arm
    .global main
main:
    stmfd   sp!, {r4-r11, lr}

    @ ARM -> Thumb (bit 0 set) -> ARM (BX lr with bit 0 clear).
    mov     r4, #0
    ldr     r0, =thumb_add_ten
    mov     lr, pc
    bx      r0
    add     r4, r4, #1              @ runs in ARM state after the return
    @ r4 = 11 now; hand it to the checks in Thumb.

    @ A Thumb target at an address with bit 1 set.
    ldr     r0, =thumb_at_bit_1 + 1
    tst     r0, #2
    moveq   r4, #0                  @ a layout mistake would show here
    mov     lr, pc
    bx      r0

    @ The rest runs in Thumb: checks and the SWI.
    ldr     r0, =thumb_part
    mov     lr, pc
    bx      r0

    ldmfd   sp!, {r4-r11, lr}
    mov     r0, #0
    bx      lr
    .ltorg

    .thumb
    .align  2
    .thumb_func
thumb_add_ten:
    adds    r4, #10
    bx      lr                      @ lr is an ARM address: back to ARM

    .align  2
    nop                             @ the next instruction at word + 2
thumb_at_bit_1:
    adds    r4, #100
    bx      lr

    .thumb_func
thumb_part:
    push    {lr}
    check   r4, 111                 @ 10 in Thumb, 1 in ARM, 100 at bit 1

@ --- SWI from Thumb: the BIOS handler runs in ARM state in Supervisor mode
@ and its MOVS PC, LR resumes here, in Thumb state, in the caller's mode.
    bl      read_cpsr
    mov     r8, r0                  @ CPSR before
    ldr     r0, =0x10101010
    ldr     r1, =0x21212121
    ldr     r2, =0x32323232
    ldr     r3, =0x43434343
    ldr     r4, =0x54545454
    ldr     r5, =0x65656565
    ldr     r6, =0x76767676
    ldr     r7, =0x87878787
    ldr     r1, =0x98989898
    mov     r9, r1
    ldr     r1, =0xA9A9A9A9
    mov     r10, r1
    ldr     r1, =0xBABABABA
    mov     r11, r1
    ldr     r1, =0xCBCBCBCB
    mov     r12, r1
    ldr     r1, =0xDCDCDCDC
    mov     lr, r1
    mov     r1, sp
    push    {r1}                    @ SP before, on the stack
    ldr     r1, =0x21212121
    set_flags 1, 0, 1, 1
    swi     0x12
    b       1f                      @ the next Thumb instruction
    .hword  0xDEAD
1:  check_flags 1, 0, 1, 1
    check   r0, 0x10101010
    check   r1, 0x21212121
    check   r2, 0x32323232
    check   r3, 0x43434343
    check   r4, 0x54545454
    check   r5, 0x65656565
    check   r6, 0x76767676
    check   r7, 0x87878787
    check   r9, 0x98989898
    check   r10, 0xA9A9A9A9
    check   r11, 0xBABABABA
    check   r12, 0xCBCBCBCB
    check   lr, 0xDCDCDCDC
    pool
    mov     r0, sp
    pop     {r1}
    subs    r0, r1, r0              @ SP as it was before the SWI's push
    check   r0, 4
    bl      read_cpsr
    mov     r1, r8
    subs    r0, r0, r1              @ the same mode as before (read in ARM)
    ldr     r1, =0x0FFFFFFF
    ands    r0, r1
    check   r0, 0

    @ Two SWIs in a row, flags clear: both return.
    set_flags 0, 1, 0, 0
    movs    r5, #0
    swi     0
    adds    r5, #1
    swi     0xFF
    adds    r5, #1
    check   r5, 2
    pool

    pop     {r0}
    bx      r0                      @ back to ARM main

    @ r0 = CPSR, read in ARM state.
    .align  2
    .thumb_func
read_cpsr:
    bx      pc
    nop
    .arm
    mrs     r0, cpsr
    bx      lr
    .thumb
    .ltorg
