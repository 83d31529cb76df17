@ Entering Thumb state from ARM code: BX to an odd address, and the
@ exception returns that restore a CPSR with T set (a data-processing
@ instruction with S and Rd = r15, LDM with r15 and the S bit). Each Thumb
@ fragment leaves a mark in r0 and returns to ARM code with BX r4.
    .include "check.inc"

    .equ    SVC, 0x13
    .equ    SYS, 0x1F
    .equ    IF, 0xC0
    .equ    T, 0x20

    .bss
    .align  2
buffer:
    .space  16

    MAIN_BEGIN
    msr     cpsr_c, #SYS

@ --- BX into Thumb and back (100) ---------------------------------------------
    mov     r0, #0
    ldr     r1, =thumb_1 + 1
    ldr     r4, =arm_back_1
    bx      r1
arm_back_1:
    mrs     r1, cpsr
    CHECK   100, r0, 42
    CHECK   101, r1, SYS            @ T clear again, flags from MOVS #42
    SET_FLAGS FLAG_N|FLAG_V
    ldr     r1, =thumb_just_return + 1
    ldr     r4, =arm_back_2
    bx      r1
arm_back_2:
    mrs     r1, cpsr
    CHECK   102, r1, 0x90000000 | SYS  @ flags survive both switches

@ --- exception return into Thumb state (200) ------------------------------------
    mov     r0, #0
    ldr     r4, =arm_back_3
    msr     cpsr_c, #IF | SVC
    mov     r1, #T | SYS
    msr     spsr_fsxc, r1
    ldr     lr, =thumb_2
    movs    pc, lr                  @ CPSR = SPSR: System mode, Thumb state
arm_back_3:
    mrs     r1, cpsr
    CHECK   200, r0, 43
    CHECK   201, r1, SYS
    mov     r0, #0
    ldr     r4, =arm_back_4
    ldr     r2, =buffer
    ldr     r1, =thumb_3
    str     r1, [r2]
    msr     cpsr_c, #IF | SVC
    ldr     r1, =0x60000000 | T | SYS
    msr     spsr_fsxc, r1
    ldmia   r2, {pc}^               @ load r15, then CPSR = SPSR
arm_back_4:
    mrs     r1, cpsr
    CHECK   202, r0, 44
    CHECK   203, r1, 0x20000000 | SYS  @ MOVS #44 cleared Z, C kept

    MAIN_END

    .syntax unified
    .thumb
    .align  1
thumb_1:
    movs    r0, #42
    bx      r4
thumb_just_return:
    bx      r4
thumb_2:
    movs    r0, #43
    bx      r4
thumb_3:
    movs    r0, #44
    bx      r4
