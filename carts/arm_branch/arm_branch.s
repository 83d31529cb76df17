@ Conditions and branches: each of the sixteen condition codes against all
@ sixteen flag combinations, B and BL forwards and backwards (near and
@ far), BL's link value, BX to ARM code and returns through r14.
    .include "check.inc"

@ Before main, so that main reaches it with a negative BL offset.
    .text
    .arm
back_subroutine:
    mov     r1, lr
    mov     r0, #0x66
    mov     pc, lr

    MAIN_BEGIN

@ --- conditions (100-115) ------------------------------------------------
@ For condition c and every NZCV value f (0-15) run the stub "MOV<c> r0, #1"
@ and collect bit f of conditions[c] when it ran.
    ldr     r4, =cond_stubs
    ldr     r8, =conditions
    mov     r7, #0                  @ c
cond_loop:
    mov     r6, #0                  @ the mask of flag values that executed
    mov     r5, #15                 @ f
flag_loop:
    mov     r0, r5, lsl #28
    msr     cpsr_f, r0
    mov     r0, #0
    add     r1, r4, r7, lsl #3
    mov     lr, pc                  @ r15 = this + 8: the instruction after the jump
    mov     pc, r1
    orr     r6, r6, r0, lsl r5
    subs    r5, r5, #1
    bpl     flag_loop
    str     r6, [r8, r7, lsl #2]
    add     r7, r7, #1
    cmp     r7, #16
    blo     cond_loop

@ Bit f of each mask, f = NZCV: N is bit 3 of f, Z bit 2, C bit 1, V bit 0.
    ldr     r0, [r8, #0]
    CHECK   100, r0, 0xF0F0         @ EQ: Z set: f = 4-7, 12-15
    ldr     r0, [r8, #4]
    CHECK   101, r0, 0x0F0F         @ NE: Z clear
    ldr     r0, [r8, #8]
    CHECK   102, r0, 0xCCCC         @ CS: C set: f = 2, 3, 6, 7, 10, 11, 14, 15
    ldr     r0, [r8, #12]
    CHECK   103, r0, 0x3333         @ CC: C clear
    ldr     r0, [r8, #16]
    CHECK   104, r0, 0xFF00         @ MI: N set: f = 8-15
    ldr     r0, [r8, #20]
    CHECK   105, r0, 0x00FF         @ PL: N clear
    ldr     r0, [r8, #24]
    CHECK   106, r0, 0xAAAA         @ VS: V set: odd f
    ldr     r0, [r8, #28]
    CHECK   107, r0, 0x5555         @ VC: V clear
    ldr     r0, [r8, #32]
    CHECK   108, r0, 0x0C0C         @ HI: C set and Z clear: f = 2, 3, 10, 11
    ldr     r0, [r8, #36]
    CHECK   109, r0, 0xF3F3         @ LS: the other twelve
    ldr     r0, [r8, #40]
    CHECK   110, r0, 0xAA55         @ GE: N = V: f = 0, 2, 4, 6, 9, 11, 13, 15
    ldr     r0, [r8, #44]
    CHECK   111, r0, 0x55AA         @ LT: N != V
    ldr     r0, [r8, #48]
    CHECK   112, r0, 0x0A05         @ GT: Z clear and N = V: f = 0, 2, 9, 11
    ldr     r0, [r8, #52]
    CHECK   113, r0, 0xF5FA         @ LE: the other twelve
    ldr     r0, [r8, #56]
    CHECK   114, r0, 0xFFFF         @ AL: always
    ldr     r0, [r8, #60]
    CHECK   115, r0, 0x0000         @ condition 15: never

@ --- B (200) ---------------------------------------------------------------
    mov     r0, #0
    b       1f
    mov     r0, #1                  @ skipped
1:  CHECK   200, r0, 0
    mov     r0, #0                  @ backwards: three passes through the loop
    mov     r1, #3
2:  add     r0, r0, #1
    subs    r1, r1, #1
    bne     2b
    CHECK   201, r0, 3
    mov     r0, #0
    SET_FLAGS FLAG_Z
    beq     3f                      @ taken
    mov     r0, #1
3:  bne     4f                      @ not taken
    orr     r0, r0, #2
4:  CHECK   202, r0, 2
    mov     r0, #0
    b       far_forward             @ an offset beyond 16 bits
far_back:
    CHECK   203, r0, 1

@ --- BL and returns (300) ----------------------------------------------------
    mov     r0, #0
    bl      near_subroutine         @ forwards
bl_return_1:
    CHECK   300, r1, bl_return_1    @ r14 held the instruction after BL
    CHECK   301, r0, 0x55
    mov     r0, #0
    bl      back_subroutine         @ backwards
bl_return_2:
    CHECK   302, r1, bl_return_2
    CHECK   303, r0, 0x66
    ldr     lr, =0x12345678
    SET_FLAGS FLAG_Z
    blne    near_subroutine         @ not taken: r14 unchanged
    CHECK   304, lr, 0x12345678
    mov     r0, #0
    bl      far_subroutine
bl_return_3:
    CHECK   305, r1, bl_return_3
    CHECK   306, r0, 0x77

@ --- BX to ARM code (400) -----------------------------------------------------
    mov     r0, #0
    ldr     r2, =bx_target
    bx      r2
    mov     r0, #1                  @ skipped
bx_target:
    CHECK   400, r0, 0
    mov     r0, #0
    ldr     r2, =bx_skipped
    SET_FLAGS FLAG_Z
    bxne    r2                      @ not taken
    mov     r0, #9
bx_skipped:
    CHECK   401, r0, 9
    mrs     r0, cpsr
    and     r0, r0, #0x20           @ still ARM state
    CHECK   402, r0, 0
    mov     r0, #0
    adr     lr, bx_lr_return
    b       bx_subroutine           @ returns with BX r14
    mov     r0, #0xFF               @ skipped
bx_lr_return:
    CHECK   403, r0, 0x88

    MAIN_END

near_subroutine:
    mov     r1, lr
    mov     r0, #0x55
    mov     pc, lr

bx_subroutine:
    mov     r0, #0x88
    bx      lr

@ Condition stubs, 8 bytes each, in condition order.
    .align  3
cond_stubs:
    moveq   r0, #1
    mov     pc, lr
    movne   r0, #1
    mov     pc, lr
    movcs   r0, #1
    mov     pc, lr
    movcc   r0, #1
    mov     pc, lr
    movmi   r0, #1
    mov     pc, lr
    movpl   r0, #1
    mov     pc, lr
    movvs   r0, #1
    mov     pc, lr
    movvc   r0, #1
    mov     pc, lr
    movhi   r0, #1
    mov     pc, lr
    movls   r0, #1
    mov     pc, lr
    movge   r0, #1
    mov     pc, lr
    movlt   r0, #1
    mov     pc, lr
    movgt   r0, #1
    mov     pc, lr
    movle   r0, #1
    mov     pc, lr
    mov     r0, #1
    mov     pc, lr
    .word   0xF3A00001              @ mov r0, #1 with condition 15
    mov     pc, lr

    .space  0x40000                 @ 256 KB: branches across it need 17 bits

far_forward:
    mov     r0, #1
    b       far_back                @ a long way backwards

far_subroutine:
    mov     r1, lr
    mov     r0, #0x77
    mov     pc, lr

    .bss
    .align  2
conditions:
    .space  64

