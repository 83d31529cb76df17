@ Data processing: the sixteen operations in immediate and register form,
@ the flags of the arithmetic (C is the carry out of the whole operation,
@ V the two's-complement overflow) and of the logical operations (C from
@ the shifter or from bit 31 of a rotated immediate, V unchanged), and
@ r15 as an operand. Flags are written as NZCV, 0x0-0xF.
    .include "check.inc"

    MAIN_BEGIN

@ --- results of every operation (100) --------------------------------------
    ldr     r1, =0xF0F0F0F0
    ldr     r2, =0x0FF00FF0
    and     r0, r1, r2
    CHECK   100, r0, 0x00F000F0
    eor     r0, r1, r2
    CHECK   101, r0, 0xFF00FF00
    orr     r0, r1, r2
    CHECK   102, r0, 0xFFF0FFF0
    bic     r0, r1, r2              @ F0F0F0F0 and not 0FF00FF0 = F000F000
    CHECK   103, r0, 0xF000F000
    mvn     r0, r1
    CHECK   104, r0, 0x0F0F0F0F
    mov     r0, #0xFF000000         @ 0xFF rotated right by 8
    CHECK   105, r0, 0xFF000000
    mvn     r0, #0
    CHECK   106, r0, 0xFFFFFFFF
    ldr     r1, =0x12345678
    ldr     r2, =0x11111111
    add     r0, r1, r2
    CHECK   107, r0, 0x23456789
    sub     r0, r1, r2
    CHECK   108, r0, 0x01234567
    rsb     r0, r2, r1              @ r1 - r2 again, operands swapped
    CHECK   109, r0, 0x01234567
    rsb     r0, r1, #0              @ negation
    CHECK   110, r0, 0xEDCBA988
    sub     r0, r2, r1              @ wraps modulo 2^32
    CHECK   111, r0, 0xFEDCBA99
    add     r0, r1, #0x3FC          @ 0xFF rotated right by 30
    CHECK   112, r0, 0x12345A74
    and     r0, r1, #0xF000000F     @ 0xFF rotated right by 4
    CHECK   113, r0, 0x10000008

@ --- ADD and CMN flags (200) -------------------------------------------------
    SET_FLAGS 0
    ldr     r1, =0xFFFFFFFF
    adds    r0, r1, #1              @ carry out, zero
    CHECK_FLAGS 200, FLAG_Z|FLAG_C
    CHECK   201, r0, 0
    ldr     r1, =0x7FFFFFFF
    adds    r0, r1, #1              @ positive + positive gives negative: V
    CHECK_FLAGS 202, FLAG_N|FLAG_V
    CHECK   203, r0, 0x80000000
    mov     r1, #0x80000000
    adds    r0, r1, r1              @ negative + negative gives 0: C, V
    CHECK_FLAGS 204, FLAG_Z|FLAG_C|FLAG_V
    mov     r1, #0x40000000
    mov     r2, #0x80000000
    adds    r0, r1, r2              @ signs differ: never V; no carry
    CHECK_FLAGS 205, FLAG_N
    CHECK   206, r0, 0xC0000000
    mvn     r1, #0
    adds    r0, r1, r1              @ FFFFFFFF + FFFFFFFF = 1 FFFFFFFE
    CHECK_FLAGS 207, FLAG_N|FLAG_C
    CHECK   208, r0, 0xFFFFFFFE
    mov     r1, #0x40000000
    adds    r0, r1, r1              @ 2^30 + 2^30 = 2^31: V, no C
    CHECK_FLAGS 209, FLAG_N|FLAG_V
    SET_FLAGS FLAG_C|FLAG_V
    mov     r1, #1
    adds    r0, r1, #2              @ all four flags cleared
    CHECK_FLAGS 210, 0
    mvn     r1, #0
    cmn     r1, #1                  @ -1 + 1
    CHECK_FLAGS 211, FLAG_Z|FLAG_C
    mov     r1, #0x40000000
    cmn     r1, #0x80000000
    CHECK_FLAGS 212, FLAG_N
    mov     r1, #0x80000000
    cmn     r1, #0x80000000
    CHECK_FLAGS 213, FLAG_Z|FLAG_C|FLAG_V

@ --- SUB, RSB and CMP flags (300) ---------------------------------------------
    SET_FLAGS 0
    mov     r1, #5
    subs    r0, r1, #5              @ equal: Z, no borrow (C = 1)
    CHECK_FLAGS 300, FLAG_Z|FLAG_C
    mov     r1, #0
    subs    r0, r1, #1              @ borrow: C = 0
    CHECK_FLAGS 301, FLAG_N
    CHECK   302, r0, 0xFFFFFFFF
    mov     r1, #0x80000000
    subs    r0, r1, #1              @ most negative - 1 overflows
    CHECK_FLAGS 303, FLAG_C|FLAG_V
    CHECK   304, r0, 0x7FFFFFFF
    ldr     r1, =0x7FFFFFFF
    mvn     r2, #0
    subs    r0, r1, r2              @ max positive - (-1) overflows; borrow
    CHECK_FLAGS 305, FLAG_N|FLAG_V
    CHECK   306, r0, 0x80000000
    mov     r1, #3
    cmp     r1, #2
    CHECK_FLAGS 307, FLAG_C
    cmp     r1, #4
    CHECK_FLAGS 308, FLAG_N
    mov     r1, #1
    rsbs    r0, r1, #0              @ 0 - 1
    CHECK_FLAGS 309, FLAG_N
    CHECK   310, r0, 0xFFFFFFFF
    mov     r1, #0x80000000
    rsbs    r0, r1, #0              @ 0 - (-2^31) overflows; borrow
    CHECK_FLAGS 311, FLAG_N|FLAG_V
    CHECK   312, r0, 0x80000000
    mov     r1, #0
    rsbs    r0, r1, #0              @ 0 - 0: no borrow
    CHECK_FLAGS 313, FLAG_Z|FLAG_C
    mvn     r1, #0
    cmp     r1, #0x80000000         @ -1 - (-2^31) = 2^31 - 1, no overflow
    CHECK_FLAGS 314, FLAG_C

@ --- carry-in forms: ADC, SBC, RSC (400) --------------------------------------
    SET_FLAGS FLAG_C
    mov     r1, #0
    mvn     r2, #0
    adcs    r0, r1, r2              @ 0 + FFFFFFFF + 1 = 1 00000000
    CHECK_FLAGS 400, FLAG_Z|FLAG_C
    CHECK   401, r0, 0
    SET_FLAGS FLAG_C
    ldr     r1, =0x7FFFFFFF
    adcs    r0, r1, #0              @ 7FFFFFFF + 0 + 1 overflows
    CHECK_FLAGS 402, FLAG_N|FLAG_V
    CHECK   403, r0, 0x80000000
    SET_FLAGS 0
    mvn     r1, #0
    adcs    r0, r1, #1              @ carry clear: plain FFFFFFFF + 1
    CHECK_FLAGS 404, FLAG_Z|FLAG_C
    SET_FLAGS FLAG_C
    mov     r1, #5
    mov     r2, #6
    adc     r0, r1, r2              @ 5 + 6 + 1
    CHECK   405, r0, 12
    SET_FLAGS FLAG_C
    mvn     r1, #0
    mvn     r2, #0
    adcs    r0, r1, r2              @ FFFFFFFF + FFFFFFFF + 1 = 1 FFFFFFFF
    CHECK_FLAGS 406, FLAG_N|FLAG_C
    CHECK   407, r0, 0xFFFFFFFF
    SET_FLAGS 0
    mov     r1, #5
    sbcs    r0, r1, #5              @ 5 - 5 - 1: borrow
    CHECK_FLAGS 408, FLAG_N
    CHECK   409, r0, 0xFFFFFFFF
    SET_FLAGS FLAG_C
    sbcs    r0, r1, #5              @ 5 - 5 - 0
    CHECK_FLAGS 410, FLAG_Z|FLAG_C
    SET_FLAGS 0
    mov     r1, #0
    mvn     r2, #0
    sbcs    r0, r1, r2              @ 0 - FFFFFFFF - 1 = -2^32: borrow, 0
    CHECK_FLAGS 411, FLAG_Z
    CHECK   412, r0, 0
    SET_FLAGS FLAG_C
    mov     r1, #0x80000000
    sbcs    r0, r1, #0              @ no borrow in, no overflow
    CHECK_FLAGS 413, FLAG_N|FLAG_C
    SET_FLAGS 0
    sbcs    r0, r1, #0              @ -2^31 - 0 - 1 overflows
    CHECK_FLAGS 414, FLAG_C|FLAG_V
    CHECK   415, r0, 0x7FFFFFFF
    SET_FLAGS FLAG_C
    mov     r1, #10
    mov     r2, #3
    sbc     r0, r1, r2              @ 10 - 3 - 0
    CHECK   416, r0, 7
    SET_FLAGS 0
    sbc     r0, r1, r2              @ 10 - 3 - 1
    CHECK   417, r0, 6
    SET_FLAGS 0
    mov     r1, #5
    rscs    r0, r1, #5              @ 5 - 5 - 1
    CHECK_FLAGS 418, FLAG_N
    CHECK   419, r0, 0xFFFFFFFF
    SET_FLAGS FLAG_C
    mov     r1, #3
    rscs    r0, r1, #5              @ 5 - 3 - 0
    CHECK_FLAGS 420, FLAG_C
    CHECK   421, r0, 2
    SET_FLAGS 0
    mov     r1, #3
    rsc     r0, r1, #10             @ 10 - 3 - 1
    CHECK   422, r0, 6
    SET_FLAGS 0
    mvn     r1, #0
    rscs    r0, r1, #0              @ 0 - FFFFFFFF - 1 = -2^32: borrow
    CHECK_FLAGS 423, FLAG_Z
    SET_FLAGS FLAG_C
    mov     r1, #1
    rscs    r0, r1, #0x80000000     @ -2^31 - 1 - 0 overflows
    CHECK_FLAGS 424, FLAG_C|FLAG_V
    CHECK   425, r0, 0x7FFFFFFF

@ --- logical flags: C from the immediate or the shifter, V kept (500) --------
    SET_FLAGS FLAG_V
    mvn     r1, #0
    ands    r0, r1, #0x80000000     @ rotated immediate: C = its bit 31 (1)
    CHECK_FLAGS 500, FLAG_N|FLAG_C|FLAG_V
    SET_FLAGS FLAG_C|FLAG_V
    movs    r0, #0x3F0              @ 0x3F rotated by 28: bit 31 clear, C = 0
    CHECK_FLAGS 501, FLAG_V
    SET_FLAGS FLAG_C
    movs    r0, #0xFF               @ no rotation: C kept
    CHECK_FLAGS 502, FLAG_C
    SET_FLAGS 0
    movs    r0, #0xF0000000
    CHECK_FLAGS 503, FLAG_N|FLAG_C
    SET_FLAGS 0
    mov     r1, #0x80000000
    teq     r1, #0x80000000         @ equal: Z; C from the immediate
    CHECK_FLAGS 504, FLAG_Z|FLAG_C
    SET_FLAGS FLAG_C|FLAG_V
    mov     r1, #0x80
    tst     r1, #0x80               @ no rotation: C and V kept
    CHECK_FLAGS 505, FLAG_C|FLAG_V
    SET_FLAGS FLAG_C
    tst     r1, #0x100              @ 0x01 rotated by 24: bit 31 clear
    CHECK_FLAGS 506, FLAG_Z
    SET_FLAGS FLAG_C|FLAG_V
    mov     r1, #0
    orrs    r0, r1, #0x10000        @ rotated, bit 31 clear: C = 0, V kept
    CHECK_FLAGS 507, FLAG_V
    SET_FLAGS FLAG_V
    mov     r1, #0x0F
    eors    r0, r1, #0xC0000003     @ 0xF rotated by 2: bit 31 set, C = 1
    CHECK_FLAGS 508, FLAG_N|FLAG_C|FLAG_V
    CHECK   509, r0, 0xC000000C
    SET_FLAGS FLAG_Z
    mvn     r1, #0
    bics    r0, r1, #0xFF000000     @ C = bit 31 of 0xFF000000
    CHECK_FLAGS 510, FLAG_C
    CHECK   511, r0, 0x00FFFFFF
    SET_FLAGS 0
    mvns    r0, #0xFF000000         @ result 00FFFFFF, C = 1
    CHECK_FLAGS 512, FLAG_C
    SET_FLAGS FLAG_C|FLAG_V
    mov     r1, #1
    mov     r2, #0x80000000
    ands    r0, r1, r2, lsl #1      @ shifter: C = bit 31 of r2 = 1; 0 result
    CHECK_FLAGS 513, FLAG_Z|FLAG_C|FLAG_V
    SET_FLAGS FLAG_C
    mov     r2, #2
    orrs    r0, r1, r2, lsr #1      @ shifter: C = bit 0 of r2 = 0
    CHECK_FLAGS 514, 0
    CHECK   515, r0, 1

@ --- arithmetic flags come from the ALU, not the shifter (600) ----------------
    SET_FLAGS 0
    mov     r1, #1
    mov     r2, #0x80000000
    adds    r0, r1, r2, lsl #1      @ shifter carry would be 1; 1 + 0 has none
    CHECK_FLAGS 600, 0
    CHECK   601, r0, 1
    SET_FLAGS 0
    mov     r1, #5
    subs    r0, r1, r2, lsr #32     @ operand 0 (LSR #32): 5 - 0, no borrow
    CHECK_FLAGS 602, FLAG_C
    CHECK   603, r0, 5
    mov     r3, #1
    SET_FLAGS 0
    mvn     r1, #0
    adds    r0, r1, r3, lsl r3      @ FFFFFFFF + 2, register-specified shift
    CHECK_FLAGS 604, FLAG_C
    CHECK   605, r0, 1
    SET_FLAGS FLAG_C
    mov     r1, #7
    adcs    r0, r1, r2, asr #31     @ 7 + FFFFFFFF + 1 = 1 00000007
    CHECK_FLAGS 606, FLAG_C
    CHECK   607, r0, 7

@ --- r15 as an operand reads the instruction's address + 8 (700) --------------
pc_mov:
    mov     r0, pc
    CHECK   700, r0, pc_mov + 8
pc_add:
    add     r0, pc, #4
    CHECK   701, r0, pc_add + 12
    mov     r1, #16
pc_sub:
    sub     r0, pc, r1, lsr #2
    CHECK   702, r0, pc_sub + 4
    mov     r2, #0
pc_regshift:
    .word   0xE1A0021F              @ mov r0, pc, lsl r2 (r15 shifted by a register)
    CHECK   703, r0, pc_regshift + 8
@ Writing r15 jumps; the skipped instruction must not run.
    mov     r0, #0
    ldr     r1, =pc_target
    mov     pc, r1
    mov     r0, #1
pc_target:
    CHECK   704, r0, 0
    mov     r0, #0
    mov     r1, #4
    add     pc, pc, r1              @ A + 8 + 4 skips two instructions
    mov     r0, #1
    mov     r0, #2
    mov     r0, #3
    orr     r0, r0, #0x10
    CHECK   705, r0, 0x13
    mov     r0, #0
    sub     pc, pc, #4              @ A + 8 - 4: the next instruction
    mov     r0, #7
    CHECK   706, r0, 7

@ --- Rd and Rn the same register, Rm = Rn (800) -------------------------------
    mov     r0, #3
    add     r0, r0, r0, lsl #2      @ 3 + 12
    CHECK   800, r0, 15
    rsb     r0, r0, r0, lsl #4      @ 15 x 16 - 15
    CHECK   801, r0, 225
    SET_FLAGS 0
    subs    r0, r0, r0
    CHECK_FLAGS 802, FLAG_Z|FLAG_C

    MAIN_END
