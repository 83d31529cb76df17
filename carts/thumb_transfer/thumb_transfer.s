@ Thumb loads and stores, every form: PC- and SP-relative words, register
@ offsets (word, halfword, byte, signed byte and halfword), immediate
@ offsets, unaligned loads as the ARM7TDMI rotates them, PUSH/POP in the
@ full descending layout shared with ARM STMFD/LDMFD, and STMIA/LDMIA.
@ Expected values are worked out by hand from the bytes in `pattern`.
    .include "thumb_check.inc"

    .equ    DATA, 0x03000800        @ scratch in internal RAM

    .text
    .thumb
    .global main
    .thumb_func
main:
    push    {r4-r7, lr}
    bl      fill_pattern            @ DATA: 11 22 33 44 55 66 77 88

@ --- Word loads: aligned, and rotated right by 8 x (address & 3).
    ldr     r1, =DATA
    ldr     r0, [r1, #4]
    check   r0, 0x88776655
    adds    r2, r1, #1
    ldr     r0, [r2, #0]            @ at +1: rotated by 8
    check   r0, 0x11443322
    movs    r3, #2
    ldr     r0, [r1, r3]            @ at +2: by 16
    check   r0, 0x22114433
    movs    r3, #7
    ldr     r0, [r1, r3]            @ at +7: by 24
    check   r0, 0x77665588
    mov     r4, sp
    adds    r5, r1, #3
    mov     sp, r5
    ldr     r0, [sp, #4]            @ SP-relative at +7: SP's low bits count
    mov     sp, r4
    check   r0, 0x77665588
    ldr     r0, pc_word             @ PC-relative
    check   r0, 0xCAFEF00D
    .align  2
    nop
    ldr     r6, pc_word2            @ from a halfword-aligned address: (A + 4) & ~3
    check   r6, 0x0BADF00D
    b       1f
    .align  2
pc_word:
    .word   0xCAFEF00D
pc_word2:
    .word   0x0BADF00D
1:
    pool

@ --- Halfwords and bytes.
    ldr     r1, =DATA
    movs    r2, #6
    ldrh    r0, [r1, r2]
    check   r0, 0x8877
    movs    r2, #1
    ldrh    r0, [r1, r2]            @ odd: the halfword at +0 rotated by 8
    check   r0, 0x11000022
    ldrh    r0, [r1, #2]
    check   r0, 0x4433
    adds    r3, r1, #1
    ldrh    r0, [r3, #2]            @ odd at +3: halfword at +2 rotated
    check   r0, 0x33000044
    movs    r2, #6
    ldrsh   r0, [r1, r2]
    check   r0, 0xFFFF8877
    movs    r2, #2
    ldrsh   r0, [r1, r2]
    check   r0, 0x00004433
    movs    r2, #7
    ldrsh   r0, [r1, r2]            @ odd: the byte there, sign-extended
    check   r0, 0xFFFFFF88
    movs    r2, #1
    ldrsh   r0, [r1, r2]
    check   r0, 0x00000022
    movs    r2, #7
    ldrsb   r0, [r1, r2]
    check   r0, 0xFFFFFF88
    movs    r2, #0
    ldrsb   r0, [r1, r2]
    check   r0, 0x11
    movs    r2, #7
    ldrb    r0, [r1, r2]
    check   r0, 0x88
    ldrb    r0, [r1, #5]
    check   r0, 0x66
    pool

@ --- Stores write only their own width; the bus aligns word and halfword
@ addresses.
    ldr     r1, =DATA
    ldr     r0, =0xABCD1234
    movs    r2, #4
    strh    r0, [r1, r2]
    ldr     r3, [r1, #4]
    check   r3, 0x88771234
    movs    r2, #1
    strb    r0, [r1, r2]
    ldr     r3, [r1, #0]
    check   r3, 0x44333411
    movs    r2, #8
    str     r0, [r1, r2]
    ldr     r3, [r1, #8]
    check   r3, 0xABCD1234
    ldr     r0, =0x0000EE99
    strb    r0, [r1, #11]
    ldr     r3, [r1, #8]
    check   r3, 0x99CD1234
    strh    r0, [r1, #8]
    ldr     r3, [r1, #8]
    check   r3, 0x99CDEE99
    adds    r4, r1, #2
    str     r0, [r4, #8]            @ +10: written at +8
    ldr     r3, [r1, #8]
    check   r3, 0x0000EE99
    adds    r4, r1, #1
    movs    r2, #2
    strh    r0, [r4, r2]            @ +3: written at +2
    ldr     r3, [r1, #0]
    check   r3, 0xEE993411
    mov     r4, sp
    mov     sp, r1
    ldr     r0, =0x5A5A5A5A
    str     r0, [sp, #16]
    ldr     r5, [sp, #16]
    mov     sp, r4
    ldr     r3, [r1, #16]
    check   r3, 0x5A5A5A5A
    check   r5, 0x5A5A5A5A
    pool

@ --- PUSH and POP: listed registers ascending from the lowest address, LR
@ (PC) above them; r13 ends at the lowest.
    mov     r7, sp                  @ S
    movs    r0, #0x11
    movs    r1, #0x22
    ldr     r2, =0xABCDEF
    mov     lr, r2
    push    {r0, r1, lr}
    mov     r6, sp
    subs    r6, r7, r6
    check   r6, 12
    ldr     r3, [sp, #0]
    check   r3, 0x11
    ldr     r3, [sp, #4]
    check   r3, 0x22
    ldr     r3, [sp, #8]
    check   r3, 0xABCDEF
    pop     {r4, r5}                @ r0, r1 as pushed
    check   r4, 0x11
    check   r5, 0x22
    pop     {r3}
    check   r3, 0xABCDEF
    mov     r6, sp
    subs    r6, r6, r7
    check   r6, 0
    movs    r4, #0x44
    movs    r7, #0x77
    push    {r4, r7}
    ldr     r3, [sp, #0]
    check   r3, 0x44
    ldr     r3, [sp, #4]
    check   r3, 0x77
    pop     {r0, r1}
    check   r0, 0x44
    check   r1, 0x77
    pool

    @ The same stack frame seen from ARM: STMFD {r0, r1, lr}, then a Thumb
    @ POP {r0, r1, pc} returns to the pushed address (Thumb state kept).
    ldr     r0, =arm_push_frame
    bl      call_via_r0
    check   r0, 0x1234
    check   r1, 0x5678
    check   r2, 0x9ABC
    pool

@ --- STMIA/LDMIA.
    ldr     r0, =DATA + 0x20
    movs    r3, r0
    ldr     r1, =0xAAAA
    ldr     r2, =0xBBBB
    stmia   r0!, {r1, r2}
    ldmia   r3!, {r4, r5}
    check   r4, 0xAAAA
    check   r5, 0xBBBB
    ldr     r6, =DATA + 0x28
    subs    r0, r0, r6
    check   r0, 0
    subs    r3, r3, r6
    check   r3, 0
    ldr     r0, =DATA + 0x20
    ldmia   r0, {r0, r1}            @ listed base: keeps the word it loaded
    check   r0, 0xAAAA
    check   r1, 0xBBBB
    ldr     r0, =DATA + 0x30
    movs    r1, #0x55
    stmia   r0!, {r0, r1}           @ the lowest listed base: its old value
    ldr     r2, =DATA + 0x30
    ldr     r3, [r2, #0]
    subs    r3, r3, r2
    check   r3, 0
    ldr     r3, [r2, #4]
    check   r3, 0x55
    ldr     r1, =DATA + 0x40
    movs    r0, #0x66
    movs    r2, #0
    ldr     r7, =0x77
    stmia   r1!, {r0, r2, r7}
    ldr     r2, =DATA + 0x4C
    subs    r1, r1, r2
    check   r1, 0
    ldr     r2, =DATA + 0x40
    ldr     r3, [r2, #8]
    check   r3, 0x77
    pool

    pop     {r4-r7}
    pop     {r3}
    movs    r0, #0
    bx      r3

    .thumb_func
call_via_r0:
    bx      r0

    .thumb_func
fill_pattern:
    ldr     r0, =DATA
    ldr     r1, =0x44332211
    ldr     r2, =0x88776655
    str     r1, [r0, #0]
    str     r2, [r0, #4]
    movs    r1, #0
    str     r1, [r0, #8]
    str     r1, [r0, #12]
    bx      lr
    .ltorg

    @ ARM: builds {r0, r1, lr} with STMFD and lets a Thumb POP return.
    .arm
    .align  2
arm_push_frame:
    stmfd   sp!, {r4, lr}           @ lr: back into main, Thumb bit set
    ldr     r0, =0x1234
    ldr     r1, =0x5678
    ldr     lr, =thumb_pop_frame_return
    stmfd   sp!, {r0, r1, lr}
    mov     r0, #0
    mov     r1, #0
    ldr     r4, =thumb_pop_frame
    bx      r4
thumb_after_pop:
    .ltorg
    .thumb
    .thumb_func
thumb_pop_frame:
    pop     {r0, r1, pc}
    .thumb_func
thumb_pop_frame_return:
    ldr     r2, =0x9ABC
    bx      pc                      @ back to ARM to unwind the frame
    nop
    .arm
    ldmfd   sp!, {r4, lr}
    bx      lr
    .ltorg
