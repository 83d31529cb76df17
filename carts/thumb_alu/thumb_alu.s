@ Thumb data processing, every form: shifts by an immediate and by a
@ register, add/subtract with registers and immediates, the eight-bit
@ immediate forms, all sixteen register ALU operations, the high-register
@ operations and the address arithmetic on PC and SP. Expected values and
@ flags are worked out by hand from the ARM7TDMI's rules in the comments.
    .include "thumb_check.inc"

    .text
    .thumb
    .global main
    .thumb_func
main:
    push    {r4-r7, lr}

@ --- LSL/LSR/ASR Rd, Rs, #imm5: C is the last bit shifted out; LSL #0 keeps
@ C; LSR #0 and ASR #0 shift by 32.
    set_flags 0, 0, 0, 1
    ldr     r1, =0xC0000001
    lsls    r0, r1, #1              @ 0x80000002, C = old bit 31
    check_flags 1, 0, 1, 1          @ V untouched
    check   r0, 0x80000002
    movs    r3, #3
    lsls    r2, r3, #31             @ 0x80000000, C = bit 1 = 1
    check_flags 1, 0, 1, 1          @ V still set
    check   r2, 0x80000000
    set_flags 0, 0, 1, 0
    ldr     r1, =0x00000001
    lsls    r7, r1, #0              @ value and C kept
    check_flags 0, 0, 1, 0
    check   r7, 1
    set_flags 0, 0, 0, 0
    lsls    r7, r1, #0
    check_flags 0, 0, 0, 0
    movs    r1, #3
    lsrs    r0, r1, #1              @ 1, C = bit 0
    check_flags 0, 0, 1, 0
    check   r0, 1
    ldr     r1, =0x80000000
    lsrs    r0, r1, #32             @ encoded #0: 0, C = bit 31
    check_flags 0, 1, 1, 0
    check   r0, 0
    ldr     r1, =0x7FFFFFFF
    lsrs    r0, r1, #32
    check_flags 0, 1, 0, 0
    ldr     r1, =0x80000000
    asrs    r4, r1, #4              @ 0xF8000000, C = bit 3 = 0
    check_flags 1, 0, 0, 0
    check   r4, 0xF8000000
    ldr     r1, =0x7000000F
    asrs    r4, r1, #4              @ 0x07000000, C = bit 3 = 1
    check_flags 0, 0, 1, 0
    check   r4, 0x07000000
    ldr     r1, =0x80000000
    asrs    r5, r1, #32             @ encoded #0: 32 copies of bit 31, C = bit 31
    check_flags 1, 0, 1, 0
    check   r5, 0xFFFFFFFF
    ldr     r1, =0x40000000
    asrs    r5, r1, #32
    check_flags 0, 1, 0, 0
    check   r5, 0
    pool

@ --- ADD/SUB Rd, Rs, Rn and #imm3: two's-complement V, C = carry / no borrow.
    ldr     r1, =0x7FFFFFFF
    movs    r2, #1
    adds    r0, r1, r2              @ 0x80000000: N, V
    check_flags 1, 0, 0, 1
    check   r0, 0x80000000
    ldr     r6, =0xFFFFFFFF
    adds    r5, r6, r2              @ 0: Z, C
    check_flags 0, 1, 1, 0
    check   r5, 0
    ldr     r1, =0x80000000
    adds    r0, r1, r1              @ 0: Z, C, V
    check_flags 0, 1, 1, 1
    subs    r0, r1, r2              @ 0x80000000 - 1 = 0x7FFFFFFF: C, V
    check_flags 0, 0, 1, 1
    check   r0, 0x7FFFFFFF
    movs    r3, #0
    subs    r7, r3, r2              @ 0 - 1: N, borrow
    check_flags 1, 0, 0, 0
    check   r7, 0xFFFFFFFF
    movs    r3, #5
    movs    r4, #5
    subs    r7, r3, r4              @ 5 - 5: Z, C
    check_flags 0, 1, 1, 0
    ldr     r1, =0xFFFFFFFA
    adds    r6, r1, #7              @ 1, C
    check_flags 0, 0, 1, 0
    check   r6, 1
    movs    r1, #0
    subs    r6, r1, #1              @ -1, borrow
    check_flags 1, 0, 0, 0
    check   r6, 0xFFFFFFFF
    movs    r1, #9
    subs    r6, r1, #7
    check_flags 0, 0, 1, 0
    check   r6, 2
    pool

@ --- MOV/CMP/ADD/SUB Rd, #imm8 (Rd in bits 10-8).
    set_flags 1, 0, 1, 1
    movs    r7, #0                  @ Z; C and V untouched
    check_flags 0, 1, 1, 1
    check   r7, 0
    movs    r6, #255
    check_flags 0, 0, 1, 1
    check   r6, 255
    cmp     r6, #255
    check_flags 0, 1, 1, 0
    cmp     r7, #1                  @ 0 - 1
    check_flags 1, 0, 0, 0
    check   r7, 0
    ldr     r5, =0xFFFFFFFF
    adds    r5, #1                  @ 0: Z, C
    check_flags 0, 1, 1, 0
    check   r5, 0
    ldr     r4, =0x7FFFFF80
    adds    r4, #128                @ 0x80000000: N, V
    check_flags 1, 0, 0, 1
    check   r4, 0x80000000
    subs    r4, #1                  @ 0x7FFFFFFF: C, V
    check_flags 0, 0, 1, 1
    check   r4, 0x7FFFFFFF
    movs    r3, #10
    subs    r3, #200                @ 10 - 200 = -190, borrow
    check_flags 1, 0, 0, 0
    check   r3, 0xFFFFFF42
    pool

@ --- Register ALU operations (Rd, Rs).
    set_flags 0, 0, 1, 1
    ldr     r0, =0xF0F0
    ldr     r1, =0xFF00
    ands    r0, r1                  @ 0xF000; C, V untouched
    check_flags 0, 0, 1, 1
    check   r0, 0xF000
    ldr     r2, =0xFFFFFFFF
    ldr     r3, =0xFFFFFFFF
    eors    r2, r3
    check_flags 0, 1, 1, 1
    check   r2, 0
    ldr     r3, =0x0000FFFF
    ldr     r4, =0xFFFF0000
    orrs    r3, r4
    check_flags 1, 0, 1, 1
    check   r3, 0xFFFFFFFF
    movs    r4, #0xFF
    movs    r5, #0x0F
    bics    r4, r5
    check   r4, 0xF0
    movs    r5, #0
    mvns    r6, r5
    check_flags 1, 0, 1, 1
    check   r6, 0xFFFFFFFF
    movs    r0, #0xF0
    movs    r1, #0x0F
    tst     r0, r1                  @ Z, r0 unchanged
    check_flags 0, 1, 1, 1
    check   r0, 0xF0
    pool

@ Register-specified shifts: amount from Rs's low byte; 0 keeps value and C;
@ 32 and more as the ARM register shifts.
    set_flags 0, 0, 0, 0
    movs    r0, #1
    movs    r1, #32
    lsls    r0, r1                  @ 0, C = bit 0
    check_flags 0, 1, 1, 0
    check   r0, 0
    movs    r0, #1
    movs    r1, #33
    lsls    r0, r1                  @ 0, C = 0
    check_flags 0, 1, 0, 0
    set_flags 0, 0, 1, 0
    ldr     r0, =0x80000001
    ldr     r1, =0x100              @ low byte 0: nothing moves
    lsls    r0, r1
    check_flags 1, 0, 1, 0
    check   r0, 0x80000001
    movs    r1, #4
    lsls    r0, r1                  @ 0x00000010, C = bit 28 = 0
    check_flags 0, 0, 0, 0
    check   r0, 0x10
    ldr     r2, =0x80000000
    movs    r3, #32
    lsrs    r2, r3                  @ 0, C = bit 31
    check_flags 0, 1, 1, 0
    ldr     r2, =0x80000000
    movs    r3, #31
    lsrs    r2, r3                  @ 1, C = bit 30 = 0
    check_flags 0, 0, 0, 0
    check   r2, 1
    ldr     r2, =0x80000000
    movs    r3, #200
    asrs    r2, r3                  @ all ones, C = bit 31
    check_flags 1, 0, 1, 0
    check   r2, 0xFFFFFFFF
    ldr     r2, =0x40000000
    movs    r3, #32
    asrs    r2, r3
    check_flags 0, 1, 0, 0
    check   r2, 0
    ldr     r2, =0x8000000F
    movs    r3, #4
    asrs    r2, r3                  @ 0xF8000000, C = bit 3 = 1
    check_flags 1, 0, 1, 0
    check   r2, 0xF8000000
    pool
    movs    r4, #0x1F
    movs    r5, #4
    rors    r4, r5                  @ 0xF0000001, C = bit 31
    check_flags 1, 0, 1, 0
    check   r4, 0xF0000001
    set_flags 0, 0, 0, 0
    ldr     r4, =0x80000000
    movs    r5, #32
    rors    r4, r5                  @ unchanged, C = bit 31
    check_flags 1, 0, 1, 0
    check   r4, 0x80000000
    set_flags 0, 0, 0, 0
    movs    r5, #0
    rors    r4, r5                  @ amount 0: C kept
    check_flags 1, 0, 0, 0
    movs    r5, #36
    ldr     r4, =0x0000001F
    rors    r4, r5                  @ as ROR 4
    check_flags 1, 0, 1, 0
    check   r4, 0xF0000001
    pool

@ ADC/SBC: C and V of the whole three-operand operation.
    set_flags 0, 0, 1, 0
    movs    r0, #0
    ldr     r1, =0xFFFFFFFF
    adcs    r0, r1                  @ 0 + 0xFFFFFFFF + 1 = 0 carry 1
    check_flags 0, 1, 1, 0
    check   r0, 0
    set_flags 0, 0, 1, 0
    ldr     r0, =0x7FFFFFFF
    movs    r1, #0
    adcs    r0, r1                  @ 0x80000000: N, V
    check_flags 1, 0, 0, 1
    check   r0, 0x80000000
    set_flags 0, 0, 0, 0
    movs    r0, #2
    movs    r1, #3
    adcs    r0, r1
    check_flags 0, 0, 0, 0
    check   r0, 5
    set_flags 0, 0, 1, 0
    movs    r0, #5
    movs    r1, #3
    sbcs    r0, r1                  @ 5 - 3 - 0
    check_flags 0, 0, 1, 0
    check   r0, 2
    set_flags 0, 0, 0, 0
    movs    r0, #5
    sbcs    r0, r1                  @ 5 - 3 - 1
    check_flags 0, 0, 1, 0
    check   r0, 1
    set_flags 0, 0, 0, 0
    movs    r0, #0
    ldr     r1, =0xFFFFFFFF
    sbcs    r0, r1                  @ 0 - 0xFFFFFFFF - 1 = 0 with a borrow
    check_flags 0, 1, 0, 0
    check   r0, 0
    set_flags 0, 0, 1, 0
    ldr     r0, =0x80000000
    movs    r1, #1
    sbcs    r0, r1                  @ 0x7FFFFFFF: C, V
    check_flags 0, 0, 1, 1
    check   r0, 0x7FFFFFFF
    pool

@ NEG sets all four flags as 0 - Rs; CMP, CMN; MUL keeps C and V.
    set_flags 0, 0, 1, 1
    movs    r1, #1
    negs    r0, r1
    check_flags 1, 0, 0, 0
    check   r0, 0xFFFFFFFF
    movs    r1, #0
    negs    r0, r1
    check_flags 0, 1, 1, 0
    check   r0, 0
    ldr     r1, =0x80000000
    negs    r0, r1
    check_flags 1, 0, 0, 1
    check   r0, 0x80000000
    movs    r2, #1
    movs    r3, #2
    cmp     r2, r3
    check_flags 1, 0, 0, 0
    ldr     r2, =0x7FFFFFFF
    cmp     r2, r1                  @ 0x7FFFFFFF - 0x80000000 overflows
    check_flags 1, 0, 0, 1
    ldr     r2, =0xFFFFFFFF
    movs    r3, #1
    cmn     r2, r3
    check_flags 0, 1, 1, 0
    check   r2, 0xFFFFFFFF
    set_flags 0, 0, 1, 1
    ldr     r4, =0x10000
    ldr     r5, =0x10001
    muls    r4, r5                  @ low 32 bits of 0x100010000
    check_flags 0, 0, 1, 1
    check   r4, 0x10000
    ldr     r4, =0xFFFFFFFF
    movs    r5, #2
    muls    r5, r4                  @ -2
    check_flags 1, 0, 1, 1
    check   r5, 0xFFFFFFFE
    pool

@ --- High registers: ADD and MOV set no flags, CMP does; r15 reads A + 4.
    set_flags 0, 0, 0, 0
    ldr     r1, =0x7FFFFFFF
    mov     r8, r1
    movs    r1, #1
    add     r8, r1                  @ 0x80000000, no flags
    check_flags 0, 0, 0, 0
    check   r8, 0x80000000
    ldr     r0, =0x80000000
    mov     r9, r0
    cmp     r9, r8
    check_flags 0, 1, 1, 0
    mov     r10, r9
    check   r10, 0x80000000
    mov     r2, r10
    check   r2, 0x80000000
    ldr     r3, =12345
    mov     r12, r3
    add     r12, r12                @ both high
    check   r12, 24690
    movs    r1, #1
    cmp     r1, r12                 @ 1 - 24690
    check_flags 1, 0, 0, 0
    .align  2
    nop
pc_read:
    mov     r0, pc                  @ r15 reads A + 4, whatever A's alignment
    mov     r1, pc                  @ at a word-aligned address
    check   r0, pc_read + 4
    check   r1, pc_read + 6
    pool

@ --- ADD Rd, PC, #imm / ADD Rd, SP, #imm compute addresses and load
@ nothing; ADD SP, #+/-imm.
    .align  2
    nop
add_pc_odd:
    add     r0, pc, #4              @ A = word + 2: ((A + 4) & ~3) + 4 = A + 6
add_pc_even:
    add     r1, pc, #8              @ A word-aligned: A + 4 + 8
    check   r0, add_pc_odd + 6
    check   r1, add_pc_even + 12
    mov     r4, sp
    adds    r5, r4, #1
    mov     sp, r5                  @ an unaligned SP keeps its low bits
    add     r6, sp, #8
    sub     sp, #8                  @ ADD SP, #-8
    add     sp, #508                @ the largest step
    mov     r7, sp
    mov     sp, r4
    subs    r6, r6, r4
    check   r6, 9
    subs    r7, r7, r4
    check   r7, 501
    pool

    pop     {r4-r7}
    pop     {r3}
    movs    r0, #0
    bx      r3
