@ Block transfers: LDM and STM in the four addressing modes with and
@ without write-back, sparse lists, r15 in the list, the base in the list,
@ an empty list and a base that is not word-aligned. The lowest-numbered
@ register always goes to the lowest address.
    .include "check.inc"

    .bss
    .align  2
buffer:
    .space  0x100

    .text
    .arm
@ Zeroes the buffer; uses r5-r7.
clear_buffer:
    ldr     r5, =buffer
    mov     r6, #0
    mov     r7, #0x100
1:  subs    r7, r7, #4
    str     r6, [r5, r7]
    bne     1b
    mov     pc, lr

@ Fills word i of the buffer with 0x100 + i; uses r5-r7.
fill_buffer:
    ldr     r5, =buffer
    mov     r6, #0x100
    mov     r7, #0
1:  str     r6, [r5, r7, lsl #2]
    add     r6, r6, #1
    add     r7, r7, #1
    cmp     r7, #0x40
    blo     1b
    mov     pc, lr
    .ltorg

@ Loads the word at buffer + offset into r0.
    .macro  PEEK offset
    ldr     r0, =buffer
    ldr     r0, [r0, #\offset]
    .endm

@ r1-r3 = 0x11, 0x22, 0x33.
    .macro  SET123
    mov     r1, #0x11
    mov     r2, #0x22
    mov     r3, #0x33
    .endm

    MAIN_BEGIN

@ --- STM: the four modes (100) ----------------------------------------------
    bl      clear_buffer
    SET123
    ldr     r0, =buffer + 16
    stmia   r0, {r1-r3}             @ + 16, + 20, + 24; no write-back
    CHECK   100, r0, buffer + 16
    PEEK    16
    CHECK   101, r0, 0x11
    PEEK    20
    CHECK   102, r0, 0x22
    PEEK    24
    CHECK   103, r0, 0x33
    bl      clear_buffer
    ldr     r0, =buffer + 16
    stmib   r0!, {r1-r3}            @ + 20, + 24, + 28
    CHECK   104, r0, buffer + 28
    PEEK    20
    CHECK   105, r0, 0x11
    PEEK    28
    CHECK   106, r0, 0x33
    bl      clear_buffer
    ldr     r0, =buffer + 16
    stmda   r0!, {r1-r3}            @ + 8, + 12, + 16
    CHECK   107, r0, buffer + 4
    PEEK    8
    CHECK   108, r0, 0x11
    PEEK    12
    CHECK   109, r0, 0x22
    PEEK    16
    CHECK   110, r0, 0x33
    bl      clear_buffer
    ldr     r0, =buffer + 16
    stmdb   r0!, {r1-r3}            @ + 4, + 8, + 12
    CHECK   111, r0, buffer + 4
    PEEK    4
    CHECK   112, r0, 0x11
    PEEK    12
    CHECK   113, r0, 0x33
    PEEK    16
    CHECK   114, r0, 0
    ldr     r0, =buffer + 16
    stmia   r0!, {r1-r3}
    CHECK   115, r0, buffer + 28

@ --- LDM: the four modes (200); word i holds 0x100 + i --------------------
    bl      fill_buffer
    ldr     r0, =buffer + 16
    ldmia   r0, {r1-r3}             @ words 4, 5, 6
    CHECK   200, r1, 0x104
    CHECK   201, r2, 0x105
    CHECK   202, r3, 0x106
    CHECK   203, r0, buffer + 16
    ldmia   r0!, {r1-r3}
    CHECK   204, r0, buffer + 28
    ldr     r0, =buffer + 16
    ldmib   r0!, {r1-r3}            @ words 5, 6, 7
    CHECK   205, r1, 0x105
    CHECK   206, r3, 0x107
    CHECK   207, r0, buffer + 28
    ldr     r0, =buffer + 16
    ldmda   r0!, {r1-r3}            @ words 2, 3, 4
    CHECK   208, r1, 0x102
    CHECK   209, r2, 0x103
    CHECK   210, r3, 0x104
    CHECK   211, r0, buffer + 4
    ldr     r0, =buffer + 16
    ldmdb   r0!, {r1-r3}            @ words 1, 2, 3
    CHECK   212, r1, 0x101
    CHECK   213, r3, 0x103
    CHECK   214, r0, buffer + 4
    ldr     r0, =buffer + 16
    ldmia   r0, {r1, r5, r9}        @ a sparse list: consecutive words
    CHECK   215, r1, 0x104
    CHECK   216, r5, 0x105
    CHECK   217, r9, 0x106
    ldr     r0, =buffer + 16
    ldmdb   r0, {r2, r4, r8}        @ words 1, 2, 3
    CHECK   218, r2, 0x101
    CHECK   219, r4, 0x102
    CHECK   220, r8, 0x103

@ --- nine registers, a stack round trip (300) ------------------------------
    bl      clear_buffer
    ldr     r1, =0x11111111
    add     r2, r1, r1
    add     r3, r2, r1
    add     r4, r3, r1
    add     r5, r4, r1
    add     r6, r5, r1
    add     r7, r6, r1
    add     r8, r7, r1
    add     r9, r8, r1
    ldr     r0, =buffer
    stmia   r0!, {r1-r9}
    CHECK   300, r0, buffer + 36
    PEEK    0
    CHECK   301, r0, 0x11111111
    PEEK    16
    CHECK   302, r0, 0x55555555
    PEEK    32
    CHECK   303, r0, 0x99999999
    mov     r9, sp
    ldr     sp, =buffer + 0x80
    ldr     lr, =0x1E1E1E1E
    stmfd   sp!, {r1-r4, lr}        @ a full descending stack: STMDB
    CHECK   304, sp, buffer + 0x80 - 20
    mov     r1, #0
    mov     r2, #0
    mov     r3, #0
    mov     r4, #0
    mov     lr, #0
    ldmfd   sp!, {r1-r4, lr}        @ LDMIA
    mov     r0, sp
    mov     sp, r9
    CHECK   305, r0, buffer + 0x80
    CHECK   306, r1, 0x11111111
    CHECK   307, r4, 0x44444444
    CHECK   308, lr, 0x1E1E1E1E

@ --- r15 in the list (400) ---------------------------------------------------
    ldr     r0, =buffer
    ldr     r2, =ldm_target
    str     r2, [r0, #4]
    mov     r1, #0x77
    str     r1, [r0]
    mov     r1, #0
    ldmia   r0, {r1, pc}            @ r1 from + 0, r15 from + 4
    mov     r1, #0xFF               @ skipped
ldm_target:
    CHECK   400, r1, 0x77
    ldr     r0, =buffer + 8
    ldr     r2, =ldm_target_2
    str     r2, [r0, #-4]
    mov     r1, #0
    ldmdb   r0!, {r1, pc}           @ r1 from + 0, r15 from + 4
    mov     r1, #0xFF               @ skipped
ldm_target_2:
    CHECK   401, r1, 0x77
    CHECK   402, r0, buffer
stm_pc:
    stmia   r0, {r1, pc}            @ r15: the instruction's address + 8
    PEEK    4
    CHECK   403, r0, stm_pc + 8
    PEEK    0
    CHECK   404, r0, 0x77

@ --- the base in the list (500) ----------------------------------------------
    bl      clear_buffer
    ldr     r1, =buffer
    mov     r2, #0x22
    stmia   r1!, {r1, r2}           @ the base first: its original value
    CHECK   500, r1, buffer + 8
    PEEK    0
    CHECK   501, r0, buffer
    PEEK    4
    CHECK   502, r0, 0x22
    bl      fill_buffer
    ldr     r1, =buffer + 8
    ldmia   r1, {r1, r2}            @ no write-back: the loaded value
    CHECK   503, r1, 0x102
    CHECK   504, r2, 0x103
    ldr     r1, =buffer + 8
    ldmda   r1, {r0, r1}            @ words 1 and 2
    CHECK   505, r0, 0x101
    CHECK   506, r1, 0x102
@ The base later in the list with write-back: the processor leaves the
@ stored or loaded value open. This console writes the base back after
@ each register, so a later base sees the partly stepped address.
    bl      clear_buffer
    ldr     r2, =buffer
    mov     r1, #0x11
    .word   0xE8A20006              @ stmia r2!, {r1, r2}: r2 stored as buffer + 4
    CHECK   507, r2, buffer + 8
    PEEK    4
    CHECK   508, r0, buffer + 4
    bl      fill_buffer
    ldr     r1, =buffer + 8
    .word   0xE8B10006              @ ldmia r1!, {r1, r2}: write-back replaces r1
    CHECK   509, r1, buffer + 16
    CHECK   510, r2, 0x103

@ --- empty list, unaligned base (600) ---------------------------------------
@ An empty list transfers nothing and leaves the base (this console's rule;
@ the processor leaves it open).
    bl      clear_buffer
    ldr     r0, =buffer + 16
    .word   0xE8A00000              @ stmia r0!, {}
    CHECK   600, r0, buffer + 16
    PEEK    16
    CHECK   601, r0, 0
    ldr     r0, =buffer + 16
    .word   0xE8B00000              @ ldmia r0!, {}
    CHECK   602, r0, buffer + 16
@ A base that is not word-aligned: the bus aligns each access and the
@ write-back keeps the low bits.
    SET123
    ldr     r0, =buffer + 1
    stmia   r0!, {r1, r2}           @ at + 0 and + 4
    CHECK   603, r0, buffer + 9
    PEEK    0
    CHECK   604, r0, 0x11
    PEEK    4
    CHECK   605, r0, 0x22
    ldr     r0, =buffer + 2
    ldmib   r0!, {r3}               @ + 6: the word at + 4, not rotated
    CHECK   606, r3, 0x22
    CHECK   607, r0, buffer + 6

    MAIN_END
