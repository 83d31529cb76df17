@ Thumb branches: every condition of the conditional branch taken and not
@ taken (condition 14 always), B at both ends of its range, BL forwards and
@ backwards with the link it leaves, a lone second BL half, and the writes
@ to PC that stay in Thumb state (MOV, ADD, POP, BX with bit 0 set).
    .include "thumb_check.inc"

    @ r0 = 1 when B<cond> is taken with the flags N, Z, C, V, else 0.
    .macro cond_case cond, n, z, c, v, taken
    set_flags \n, \z, \c, \v
    ldr     r0, =1
    b\cond  .Ltaken\@
    ldr     r0, =0
.Ltaken\@:
    check   r0, \taken
    .endm

    .text
    .thumb
    .global main
    .thumb_func
main:
    push    {r4-r7, lr}

@ --- Conditions, each where it holds and where it fails.
    cond_case eq, 0, 1, 0, 0, 1
    cond_case eq, 1, 0, 1, 1, 0
    cond_case ne, 1, 0, 1, 1, 1
    cond_case ne, 0, 1, 0, 0, 0
    cond_case cs, 0, 0, 1, 0, 1
    cond_case cs, 1, 1, 0, 1, 0
    cond_case cc, 1, 1, 0, 1, 1
    cond_case cc, 0, 0, 1, 0, 0
    cond_case mi, 1, 0, 0, 0, 1
    cond_case mi, 0, 1, 1, 1, 0
    pool
    cond_case pl, 0, 1, 1, 1, 1
    cond_case pl, 1, 0, 0, 0, 0
    cond_case vs, 0, 0, 0, 1, 1
    cond_case vs, 1, 1, 1, 0, 0
    cond_case vc, 1, 1, 1, 0, 1
    cond_case vc, 0, 0, 0, 1, 0
    cond_case hi, 0, 0, 1, 0, 1    @ C and not Z
    cond_case hi, 0, 1, 1, 0, 0
    cond_case hi, 0, 0, 0, 0, 0
    cond_case ls, 0, 0, 0, 0, 1    @ not C, or Z
    pool
    cond_case ls, 0, 1, 1, 0, 1
    cond_case ls, 0, 0, 1, 0, 0
    cond_case ge, 1, 0, 0, 1, 1    @ N equals V
    cond_case ge, 0, 0, 0, 0, 1
    cond_case ge, 1, 0, 0, 0, 0
    cond_case lt, 0, 0, 0, 1, 1
    cond_case lt, 1, 0, 0, 1, 0
    cond_case gt, 0, 0, 0, 0, 1    @ not Z, and N equals V
    cond_case gt, 0, 1, 0, 0, 0
    cond_case gt, 1, 0, 0, 0, 0
    pool
    cond_case le, 0, 1, 0, 0, 1
    cond_case le, 0, 0, 0, 1, 1
    cond_case le, 1, 0, 0, 1, 0

    @ Condition 14 (0xDExx) is always taken: 0xDE00 goes to A + 4.
    set_flags 0, 0, 0, 0
    ldr     r0, =1
    .hword  0xDE00
    ldr     r0, =0
    check   r0, 1
    set_flags 1, 1, 1, 1
    ldr     r0, =1
    .hword  0xDE00
    ldr     r0, =0
    check   r0, 1
    pool

    @ A conditional branch backwards: count down from 5.
    movs    r1, #5
    movs    r2, #0
1:  adds    r2, #3
    subs    r1, #1
    bne     1b
    check   r2, 15
    pool

@ --- B at both ends of its range: +2046 and -2048 bytes from A + 4.
    movs    r0, #0
    b       forward_max             @ encoded 0xE3FF
    .space  2048
forward_max:
    adds    r0, #1
    b       backward_max_branch
backward_max:
    adds    r0, #2
    b       after_far
    .space  2040
backward_max_branch:
    b       backward_max            @ encoded 0xE400
after_far:
    check   r0, 3
    pool

@ --- BL forwards and backwards; the link is the next instruction, bit 0 set.
    bl      leaf_forward
bl_return_1:
    check   r0, bl_return_1 + 1
    b       1f
    .thumb_func
leaf_backward:
    mov     r0, lr
    bx      lr
1:  bl      leaf_backward
bl_return_2:
    check   r0, bl_return_2 + 1

    @ A second half alone acts as a first half: 0xF800 0xF800 is a BL with
    @ offset 0, to the halfword after the pair.
    .hword  0xF800, 0xF800
lone_half_return:
    mov     r0, lr
    check   r0, lone_half_return + 1
    pool

@ --- Writes to PC that stay in Thumb state.
    adr     r1, mov_pc_target
    adds    r1, #1                  @ bit 0 set: cleared by the write
    mov     pc, r1
    ldr     r0, =0xBAD
mov_pc_target:
    check   r1, mov_pc_target + 1
    adr     r1, mov_pc_target2
    mov     pc, r1                  @ bit 0 clear: still Thumb
    ldr     r1, =0xBAD
    .align  2
mov_pc_target2:
    check   r1, mov_pc_target2

    @ ADD pc, r2: r15 reads as A + 4.
    movs    r2, #2
add_pc_here:
    add     pc, r2                  @ to A + 4 + 2
    ldr     r3, =0xBAD
    ldr     r3, =0xBAD
    ldr     r3, =0x600D             @ A + 6
    check   r3, 0x600D
    pool

    @ POP {pc} stays in Thumb state whatever bit 0 holds.
    adr     r0, pop_target
    push    {r0}                    @ bit 0 clear
    pop     {pc}
    ldr     r4, =0xBAD
    .align  2
pop_target:
    ldr     r4, =0x600D
    check   r4, 0x600D
    ldr     r0, =pop_target2
    push    {r0}                    @ bit 0 set
    movs    r5, #1
    pop     {pc}
    movs    r5, #2
    .thumb_func
pop_target2:
    check   r5, 1

    @ BX with bit 0 set stays in Thumb state; BX PC at a word-aligned A
    @ enters ARM state at A + 4.
    ldr     r0, =bx_thumb_target
    bx      r0
    movs    r6, #9
    .thumb_func
bx_thumb_target:
    movs    r6, #1
    check   r6, 1
    .align  2
    bx      pc
    nop
    .arm
    mov     r6, #0x60
    add     r6, r6, #0x0D            @ 0x6D, in ARM state
    add     r0, pc, #1               @ A + 8 = the Thumb code after BX, bit 0 set
    bx      r0
    .thumb
    check   r6, 0x6D
    pool

    pop     {r4-r7}
    pop     {r3}
    movs    r0, #0
    bx      r3

    .thumb_func
leaf_forward:
    mov     r0, lr
    bx      lr
