@ Position-independent ARM routines that main copies into internal RAM and
@ runs there: each is a template, never called where it lies.
    .text
    .arm
    .global routine_triple_plus_one, routine_triple_plus_one_end
    .global routine_minus_five, routine_minus_five_end
    .global routine_count_down, routine_count_down_end

@ r0 = r0 * 3 + 1
routine_triple_plus_one:
    add     r0, r0, r0, lsl #1
    add     r0, r0, #1
    bx      lr
routine_triple_plus_one_end:

@ r0 = r0 - 5, the long way round
routine_minus_five:
    sub     r1, r0, #5
    mov     r0, r1
    mov     r2, #0
    add     r0, r0, r2
    bx      lr
routine_minus_five_end:

@ r0 = number of times round a loop of r0 iterations (r0 itself): a loop
@ inside the copied code, so that its blocks are reused before they go stale.
routine_count_down:
    mov     r1, #0
1:  subs    r0, r0, #1
    add     r1, r1, #1
    bne     1b
    mov     r0, r1
    bx      lr
routine_count_down_end:
