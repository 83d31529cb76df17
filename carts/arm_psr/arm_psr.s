@ Status registers and modes: MRS, MSR with each field mask from a register
@ and from an immediate, leaving the start-up mode, the banked r13 and r14
@ of every mode, FIQ's banked r8-r14, the SPSR of each exception mode,
@ exception return through a data-processing instruction with S and
@ Rd = r15, and LDM/STM with the S bit (CPSR restore, User bank transfer).
@
@ The program starts in System mode (CPSR = 0x1F), as the console's boot
@ ROM leaves a cartridge; System shares r13 and r14 with User mode.
    .include "check.inc"

    .equ    USR, 0x10
    .equ    FIQ, 0x11
    .equ    IRQ, 0x12
    .equ    SVC, 0x13
    .equ    ABT, 0x17
    .equ    UND, 0x1B
    .equ    SYS, 0x1F
    .equ    IF, 0xC0                @ I and F: interrupts disabled

    .equ    STACK_USR, 0x03007F00   @ the start code's stack
    .equ    STACK_IRQ, 0x03007FA0   @ the console's reset values
    .equ    STACK_SVC, 0x03007FE0

    .bss
    .align  2
buffer:
    .space  64

    MAIN_BEGIN

@ --- leaving the start-up mode (100) ---------------------------------------
    mrs     r0, cpsr
    and     r0, r0, #0x1F
    CHECK   100, r0, SYS            @ System mode from the start
    ldr     lr, =0x0E0E0E0E
    msr     cpsr_c, #SYS
    CHECK_MODE 101, SYS
    CHECK   102, sp, STACK_USR      @ the same r13 and r14
    CHECK   103, lr, 0x0E0E0E0E

@ --- MSR field masks and MRS (200) -------------------------------------------
    msr     cpsr_f, #0xF0000000     @ immediate, flags byte only
    mrs     r0, cpsr
    CHECK   200, r0, 0xF0000000 | SYS
    ldr     r1, =0x500000D3
    msr     cpsr_f, r1              @ register, flags byte only
    mrs     r0, cpsr
    CHECK   201, r0, 0x50000000 | SYS
    msr     cpsr_f, #0x50000000     @ again: every check changes the flags
    ldr     r1, =0xA00000DF
    msr     cpsr_c, r1              @ control byte only: I and F set
    mrs     r0, cpsr
    CHECK   202, r0, 0x50000000 | IF | SYS
    msr     cpsr_f, #0x50000000
    ldr     r1, =0x0F0000D2
    msr     cpsr_sx, r1             @ bits 8-23 only, all zero here
    mrs     r0, cpsr
    CHECK   203, r0, 0x50000000 | IF | SYS
    ldr     r1, =0x8000001F
    msr     cpsr_fc, r1             @ flags and control
    mrs     r0, cpsr
    CHECK_FLAGS 205, FLAG_N         @ the condition flags follow MSR
    CHECK   204, r0, 0x80000000 | SYS
    msr     cpsr_f, #0x60000000
    SET_FLAGS 0
    mov     r1, #0x7FFFFFFF
    adds    r1, r1, #1              @ N and V from an addition
    mrs     r0, cpsr
    CHECK   206, r0, 0x90000000 | SYS
    msr     cpsr_fc, #0x40000000 | IRQ @ immediate, two fields
    mrs     r0, cpsr
    msr     cpsr_c, #SYS
    CHECK   207, r0, 0x40000000 | IRQ

@ --- banked r13 and r14 (300) ------------------------------------------------
    ldr     sp, =0x1001
    ldr     lr, =0x1002
    msr     cpsr_c, #IF | IRQ
    mov     r0, sp
    mov     r1, #0
    ldr     sp, =0x2001
    ldr     lr, =0x2002
    msr     cpsr_c, #IF | SVC
    mov     r1, sp
    ldr     sp, =0x3001
    ldr     lr, =0x3002
    msr     cpsr_c, #IF | ABT
    ldr     sp, =0x7001
    ldr     lr, =0x7002
    msr     cpsr_c, #IF | UND
    ldr     sp, =0xB001
    ldr     lr, =0xB002
    msr     cpsr_c, #IF | FIQ
    ldr     sp, =0x1101
    ldr     lr, =0x1102
    msr     cpsr_c, #SYS
    CHECK   300, r0, STACK_IRQ      @ IRQ's r13 as the console starts it
    CHECK   301, r1, STACK_SVC
    CHECK   302, sp, 0x1001
    CHECK   303, lr, 0x1002
    msr     cpsr_c, #IF | IRQ
    CHECK   304, sp, 0x2001
    CHECK   305, lr, 0x2002
    ldr     sp, =STACK_IRQ
    msr     cpsr_c, #IF | SVC
    CHECK   306, sp, 0x3001
    CHECK   307, lr, 0x3002
    ldr     sp, =STACK_SVC
    msr     cpsr_c, #IF | ABT
    CHECK   308, sp, 0x7001
    CHECK   309, lr, 0x7002
    msr     cpsr_c, #IF | UND
    CHECK   310, sp, 0xB001
    CHECK   311, lr, 0xB002
    msr     cpsr_c, #IF | FIQ
    CHECK   312, sp, 0x1101
    CHECK   313, lr, 0x1102
    msr     cpsr_c, #SYS
    CHECK   314, sp, 0x1001
    ldr     sp, =STACK_USR

@ --- FIQ banks r8-r14 (400) ---------------------------------------------------
@ No check may run while FIQ's r10-r12 hold values still to be read.
    mov     r8, #0x80
    mov     r9, #0x90
    mov     r10, #0xA0
    mov     r11, #0xB0
    mov     r12, #0xC0
    msr     cpsr_c, #IF | FIQ
    mov     r8, #0x81
    mov     r9, #0x91
    mov     r10, #0xA1
    mov     r11, #0xB1
    mov     r12, #0xC1
    msr     cpsr_c, #IF | IRQ       @ IRQ sees User's r8-r12
    mov     r0, r8
    mov     r1, r9
    mov     r2, r10
    mov     r3, r11
    mov     r4, r12
    msr     cpsr_c, #SYS
    mov     r5, r8
    mov     r6, r12
    CHECK   400, r0, 0x80
    CHECK   401, r1, 0x90
    CHECK   402, r2, 0xA0
    CHECK   403, r3, 0xB0
    CHECK   404, r4, 0xC0
    CHECK   405, r5, 0x80
    CHECK   406, r6, 0xC0
    msr     cpsr_c, #IF | FIQ
    mov     r0, r8
    mov     r1, r9
    mov     r2, r10
    mov     r3, r11
    mov     r4, r12
    msr     cpsr_c, #SYS
    CHECK   407, r0, 0x81
    CHECK   408, r1, 0x91
    CHECK   409, r2, 0xA1
    CHECK   410, r3, 0xB1
    CHECK   411, r4, 0xC1

@ --- the SPSR of each exception mode (500) -----------------------------------
    ldr     r0, =0x20000010
    msr     cpsr_c, #IF | IRQ
    msr     spsr_fsxc, r0
    ldr     r0, =0x40000013
    msr     cpsr_c, #IF | SVC
    msr     spsr_fsxc, r0
    ldr     r0, =0x80000017
    msr     cpsr_c, #IF | ABT
    msr     spsr_fsxc, r0
    ldr     r0, =0x1000001B
    msr     cpsr_c, #IF | UND
    msr     spsr_fsxc, r0
    ldr     r0, =0x30000011
    msr     cpsr_c, #IF | FIQ
    msr     spsr_fsxc, r0
    msr     cpsr_c, #IF | IRQ
    mrs     r0, spsr
    CHECK   500, r0, 0x20000010
    msr     cpsr_c, #IF | SVC
    mrs     r0, spsr
    CHECK   501, r0, 0x40000013
    msr     cpsr_c, #IF | ABT
    mrs     r0, spsr
    CHECK   502, r0, 0x80000017
    msr     cpsr_c, #IF | UND
    mrs     r0, spsr
    CHECK   503, r0, 0x1000001B
    msr     cpsr_c, #IF | FIQ
    mrs     r0, spsr
    CHECK   504, r0, 0x30000011
    msr     cpsr_c, #IF | IRQ
    msr     spsr_f, #0xA0000000     @ flags byte only
    mrs     r0, spsr
    CHECK   505, r0, 0xA0000010
    mvn     r1, #0xE0               @ FFFFFF1F
    msr     spsr_c, r1              @ control byte only
    mrs     r0, spsr
    CHECK   506, r0, 0xA000001F
    mrs     r0, cpsr                @ the CPSR's mode and control bits kept
    and     r0, r0, #0xFF
    CHECK   507, r0, IF | IRQ
    msr     cpsr_c, #SYS

@ --- exception return: S with Rd = r15 copies the SPSR (600) ----------------
    msr     cpsr_c, #IF | SVC
    ldr     r0, =0x6000001F
    msr     spsr_fsxc, r0
    adr     lr, return_1
    SET_FLAGS FLAG_N|FLAG_V
    movs    pc, lr
    mov     r0, #0                  @ skipped
return_1:
    mrs     r0, cpsr
    mov     r1, sp
    CHECK   600, r0, 0x6000001F     @ System, flags from the SPSR
    CHECK   601, r1, STACK_USR
    msr     cpsr_c, #IF | SVC
    ldr     r0, =0x900000DF
    msr     spsr_fsxc, r0
    adr     lr, return_2 + 4
    subs    pc, lr, #4
    mov     r0, #0                  @ skipped
return_2:
    mrs     r0, cpsr
    msr     cpsr_c, #SYS
    CHECK   602, r0, 0x900000DF     @ not the flags of the subtraction
    msr     cpsr_c, #IF | SVC
    ldr     r0, =0x000000D2
    msr     spsr_fsxc, r0
    adr     r1, return_3
    ldr     lr, =0x5555
    adds    pc, r1, #0              @ into IRQ mode
return_3:
    mrs     r0, cpsr
    mov     r1, sp
    mov     r2, lr
    msr     cpsr_c, #SYS
    CHECK   603, r0, 0x000000D2
    CHECK   604, r1, STACK_IRQ      @ IRQ's own r13 and r14
    CHECK   605, r2, 0x2002
    msr     cpsr_c, #IF | SVC
    CHECK   606, lr, 0x5555         @ Supervisor's r14 stayed with it
    CHECK   607, sp, STACK_SVC
    msr     cpsr_c, #SYS
@ In System mode (no SPSR) MOVS r15 is a jump that sets N and Z from the
@ value and keeps the mode (this console's rule for a case the processor
@ leaves open).
    adr     r0, return_4
    SET_FLAGS FLAG_Z|FLAG_C|FLAG_V
    movs    pc, r0
    mov     r0, #0                  @ skipped
return_4:
    mrs     r0, cpsr
    CHECK   608, r0, 0x30000000 | SYS

@ --- LDM and STM with the S bit (700) ----------------------------------------
    ldr     r0, =buffer
    mov     r1, #0x5A
    str     r1, [r0]
    adr     r1, return_5
    str     r1, [r0, #4]
    msr     cpsr_c, #IF | SVC
    ldr     r1, =0xA000001F
    msr     spsr_fsxc, r1
    mov     r1, #0
    ldmia   r0, {r1, pc}^           @ loads, then the SPSR into the CPSR
    mov     r1, #0                  @ skipped
return_5:
    mrs     r2, cpsr
    CHECK   700, r2, 0xA000001F
    CHECK   701, r1, 0x5A
@ Without r15 the S bit transfers User's r13 and r14.
    ldr     sp, =0x00C0FFEE
    ldr     lr, =0x0000BEEF
    msr     cpsr_c, #IF | IRQ
    ldr     r0, =buffer
    stmia   r0, {sp, lr}^
    ldr     r1, =0x6161
    ldr     r2, =0x6262
    add     r5, r0, #4
    stmib   r5, {r1, r2}            @ + 8 and + 12
    ldmib   r5, {sp, lr}^           @ into User's r13 and r14
    mov     r0, r0                  @ no banked register right after LDM^
    mov     r3, sp
    mov     r4, lr
    msr     cpsr_c, #SYS
    mov     r5, sp
    mov     r6, lr
    ldr     sp, =STACK_USR
    ldr     r0, =buffer
    ldr     r1, [r0]
    ldr     r2, [r0, #4]
    CHECK   702, r1, 0x00C0FFEE
    CHECK   703, r2, 0x0000BEEF
    CHECK   704, r3, STACK_IRQ      @ IRQ's own registers untouched
    CHECK   705, r4, 0x2002
    CHECK   706, r5, 0x6161
    CHECK   707, r6, 0x6262
@ In FIQ mode the User bank is r8-r14.
    mov     r8, #0x18
    mov     r9, #0x19
    msr     cpsr_c, #IF | FIQ
    mov     r8, #0x28
    mov     r9, #0x29
    ldr     r0, =buffer
    stmia   r0, {r8, r9}^           @ User's r8 and r9
    mov     r1, #0x38
    mov     r2, #0x39
    add     r5, r0, #4
    stmib   r5, {r1, r2}
    ldmib   r5, {r8, r9}^
    mov     r0, r0
    mov     r3, r8                  @ FIQ's, untouched
    mov     r4, r9
    msr     cpsr_c, #SYS
    mov     r5, r8
    mov     r6, r9
    ldr     r0, =buffer
    ldr     r1, [r0]
    ldr     r2, [r0, #4]
    CHECK   708, r1, 0x18
    CHECK   709, r2, 0x19
    CHECK   710, r3, 0x28
    CHECK   711, r4, 0x29
    CHECK   712, r5, 0x38
    CHECK   713, r6, 0x39

@ --- User mode shares r13 and r14 with System (800) --------------------------
@ Last: User mode cannot leave by MSR. main returns from User mode.
    ldr     sp, =STACK_USR
    ldr     lr, =0x0F0F0F0F
    msr     cpsr_c, #USR
    CHECK_MODE 800, USR
    CHECK   801, sp, STACK_USR
    CHECK   802, lr, 0x0F0F0F0F

    MAIN_END
