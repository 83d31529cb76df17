@ SWI through the built-in BIOS and back. The BIOS handler saves r11, r12
@ and r14 on the Supervisor stack, restores them and returns with
@ MOVS r15, r14, which copies the SPSR back into the CPSR: the caller
@ continues after its SWI in its own mode with its registers and flags.
@ What the call left behind is checked too: the three words below the
@ Supervisor stack, and Supervisor mode's r13, r14 and SPSR (the caller's
@ CPSR with its flags).
    .include "check.inc"

    .equ    IRQ, 0x12
    .equ    SVC, 0x13
    .equ    SYS, 0x1F
    .equ    IF, 0xC0

    .equ    STACK_USR, 0x03007F00
    .equ    STACK_IRQ, 0x03007FA0
    .equ    STACK_SVC, 0x03007FE0

@ Cases n to n + 2: the words the BIOS pushed below stack (r11, r12, r14).
    .macro  CHECK_PUSHED n, stack, r11_value, r12_value, r14_value
    ldr     r0, =\stack - 12
    ldr     r1, [r0]
    ldr     r2, [r0, #4]
    ldr     r3, [r0, #8]
    CHECK   \n, r1, \r11_value
    CHECK   \n+1, r2, \r12_value
    CHECK   \n+2, r3, \r14_value
    .endm

@ Cases n to n + 3: Supervisor mode's r13, r14 and SPSR, then back to mode.
    .macro  CHECK_SUPERVISOR n, r13_value, r14_value, spsr_value, mode
    msr     cpsr_c, #IF | SVC
    mov     r0, sp
    mov     r1, lr
    mrs     r2, spsr
    msr     cpsr_c, #\mode
    CHECK   \n, r0, \r13_value
    CHECK   \n+1, r1, \r14_value
    CHECK   \n+2, r2, \spsr_value
    .endm

    MAIN_BEGIN

@ --- from the start-up mode, System (100) ----------------------------------
    SET_FLAGS FLAG_N|FLAG_C
    mov     r0, #0xA0
    mov     r1, #0xA1
    mov     r2, #0xA2
    mov     r3, #0xA3
    mov     r4, #0xA4
    ldr     r11, =0x0B0B
    ldr     r12, =0x0C0C
    ldr     lr, =0x0E0E0E0E
    swi     0x05
swi_return_1:
    mrs     r5, cpsr
    mov     r6, r11
    mov     r7, r12
    mov     r8, sp
    mov     r9, lr
    CHECK   100, r0, 0xA0
    CHECK   101, r1, 0xA1
    CHECK   102, r2, 0xA2
    CHECK   103, r3, 0xA3
    CHECK   104, r4, 0xA4
    CHECK   105, r5, 0xA000001F     @ System again, N and C
    CHECK   106, r6, 0x0B0B
    CHECK   107, r7, 0x0C0C
    CHECK   108, r8, STACK_USR      @ the caller's r13 and r14
    CHECK   109, r9, 0x0E0E0E0E
    CHECK_PUSHED 110, STACK_SVC, 0x0B0B, 0x0C0C, swi_return_1
@ Supervisor's r14 = the return address; its SPSR = the caller's CPSR
@ (System) with the flags packed into it. Leaves for System mode.
    CHECK_SUPERVISOR 113, STACK_SVC, swi_return_1, 0xA000001F, SYS
    CHECK   116, sp, STACK_USR

@ --- from System mode (200) --------------------------------------------------
    ldr     sp, =0x03007E00
    SET_FLAGS FLAG_Z|FLAG_V
    ldr     r11, =0x1111
    ldr     r12, =0x2222
    ldr     lr, =0x3333
    swi     0xFFFFFF
swi_return_2:
    mrs     r5, cpsr
    mov     r6, r11
    mov     r7, r12
    mov     r8, sp
    mov     r9, lr
    CHECK   200, r5, 0x5000001F     @ System, Z and V, I clear again
    CHECK   201, r6, 0x1111
    CHECK   202, r7, 0x2222
    CHECK   203, r8, 0x03007E00
    CHECK   204, r9, 0x3333
    CHECK_PUSHED 205, STACK_SVC, 0x1111, 0x2222, swi_return_2
    CHECK_SUPERVISOR 208, STACK_SVC, swi_return_2, 0x5000001F, SYS
    ldr     sp, =STACK_USR

@ --- from IRQ mode (300) -----------------------------------------------------
    msr     cpsr_c, #IF | IRQ
    ldr     lr, =0x4444
    SET_FLAGS FLAG_C
    swi     0
swi_return_3:
    mrs     r5, cpsr
    mov     r8, sp
    mov     r9, lr
    CHECK   300, r5, 0x20000000 | IF | IRQ
    CHECK   301, r8, STACK_IRQ
    CHECK   302, r9, 0x4444
    CHECK_SUPERVISOR 303, STACK_SVC, swi_return_3, 0x20000000 | IF | IRQ, SYS

@ --- from Supervisor mode: its r14 and SPSR are replaced (400) ----------------
    msr     cpsr_c, #SVC
    ldr     sp, =0x03007F80
    ldr     lr, =0x5555
    mov     r0, #SYS
    msr     spsr_fsxc, r0
    SET_FLAGS FLAG_Z
    ldr     r11, =0x1111
    ldr     r12, =0x2222
    swi     1
swi_return_4:
    mrs     r5, cpsr
    mrs     r6, spsr
    mov     r8, sp
    mov     r9, lr
    ldr     sp, =STACK_SVC
    msr     cpsr_c, #SYS
    CHECK   400, r5, 0x40000000 | SVC
    CHECK   401, r6, 0x40000000 | SVC  @ the CPSR at the SWI
    CHECK   402, r8, 0x03007F80
    CHECK   403, r9, swi_return_4   @ r14 holds the return address now
    CHECK_PUSHED 404, 0x03007F80, 0x1111, 0x2222, swi_return_4

@ --- conditional SWI (500) ------------------------------------------------------
    ldr     r0, =STACK_SVC - 12
    ldr     r1, =0xDEAD0000
    str     r1, [r0]
    str     r1, [r0, #4]
    str     r1, [r0, #8]
    ldr     lr, =0x6666
    SET_FLAGS 0
    swieq   2                       @ not taken: nothing pushed
    mov     r9, lr
    CHECK   500, r9, 0x6666
    CHECK_PUSHED 501, STACK_SVC, 0xDEAD0000, 0xDEAD0000, 0xDEAD0000
    SET_FLAGS 0
    ldr     r11, =0x7777
    ldr     r12, =0x8888
    swine   3                       @ taken
swi_return_5:
    mrs     r5, cpsr
    CHECK   504, r5, SYS
    CHECK_PUSHED 505, STACK_SVC, 0x7777, 0x8888, swi_return_5

    MAIN_END
