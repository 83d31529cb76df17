@ Single data transfers: LDR/STR and LDRB/STRB with immediate and shifted
@ register offsets, pre-indexed with and without write-back and
@ post-indexed; LDRH/STRH/LDRSB/LDRSH in every addressing form; the
@ ARM7TDMI's unaligned loads (LDR and SWP rotate the aligned word, LDRH
@ rotates the aligned halfword, LDRSH at an odd address loads the byte);
@ r15 as base, stored value and destination; SWP and SWPB.
@
@ The bus aligns word and halfword addresses (the console's bus does), so
@ unaligned stores land on the aligned word or halfword.
    .include "check.inc"

@ The buffer's first words, little-endian, as bytes in address order:
@   +0  11 22 33 44   +4  55 66 77 88   +8  99 AA BB CC
@   +12 01 FF 80 7F   +16 FF 7F 01 80   +20 onwards: zero
@ and the byte before the buffer is A5.
    .section .rodata
    .align  2
initial:
    .word   0x44332211, 0x88776655, 0xCCBBAA99, 0x7F80FF01, 0x80017FFF
    .equ    INITIAL_WORDS, 5

    .bss
    .align  2
before:
    .space  4
buffer:
    .space  0x200

    .text
    .arm
@ Restores the buffer; uses r5-r7.
reset_buffer:
    ldr     r5, =before
    ldr     r6, =0xA5A5A5A5
    str     r6, [r5], #4
    mov     r6, #0
    mov     r7, #0
1:  str     r6, [r5, r7]            @ clear 0x200 bytes
    add     r7, r7, #4
    cmp     r7, #0x200
    blo     1b
    ldr     r6, =initial
    mov     r7, #0
2:  ldr     r5, [r6, r7, lsl #2]
    ldr     r9, =buffer
    str     r5, [r9, r7, lsl #2]
    add     r7, r7, #1
    cmp     r7, #INITIAL_WORDS
    blo     2b
    mov     pc, lr
    .ltorg

    MAIN_BEGIN
    bl      reset_buffer

@ --- LDR/STR with immediate offsets (100) -----------------------------------
    ldr     r1, =buffer
    ldr     r0, [r1]
    CHECK   100, r0, 0x44332211
    ldr     r0, [r1, #4]            @ pre-indexed, no write-back
    CHECK   101, r0, 0x88776655
    CHECK   102, r1, buffer
    ldr     r0, [r1, #8]!
    CHECK   103, r0, 0xCCBBAA99
    CHECK   104, r1, buffer + 8
    ldr     r0, [r1, #-4]           @ subtracted offset
    CHECK   105, r0, 0x88776655
    ldr     r0, [r1, #-8]!
    CHECK   106, r0, 0x44332211
    CHECK   107, r1, buffer
    ldr     r0, [r1], #4            @ post-indexed: address = base
    CHECK   108, r0, 0x44332211
    CHECK   109, r1, buffer + 4
    ldr     r0, [r1], #-4
    CHECK   110, r0, 0x88776655
    CHECK   111, r1, buffer
    ldr     r2, =0xDEADBEEF
    str     r2, [r1, #20]
    ldr     r0, [r1, #20]
    CHECK   112, r0, 0xDEADBEEF
    CHECK   113, r1, buffer
    ldr     r2, =0x01020304
    str     r2, [r1, #24]!
    CHECK   114, r1, buffer + 24
    ldr     r2, =0x05060708
    str     r2, [r1], #-24          @ stores at buffer + 24, then steps back
    CHECK   115, r1, buffer
    ldr     r0, [r1, #24]
    CHECK   116, r0, 0x05060708
    ldrt    r0, [r1], #4            @ the T forms transfer as the others
    CHECK   117, r0, 0x44332211
    CHECK   118, r1, buffer + 4
    ldr     r2, =0x0BADF00D
    strt    r2, [r1], #-4           @ stores at buffer + 4
    CHECK   119, r1, buffer
    ldr     r0, [r1, #4]
    CHECK   120, r0, 0x0BADF00D
    ldr     r1, =buffer + 0xFF0
    ldr     r0, [r1, #-0xFF0]       @ the top bits of the 12-bit offset
    CHECK   121, r0, 0x44332211

@ --- register offsets with shifts (200) -------------------------------------
    bl      reset_buffer
    ldr     r1, =buffer
    mov     r3, #4
    ldr     r0, [r1, r3]
    CHECK   200, r0, 0x88776655
    ldr     r0, [r1, r3, lsl #1]    @ + 8
    CHECK   201, r0, 0xCCBBAA99
    add     r1, r1, #8
    ldr     r0, [r1, -r3]           @ buffer + 4
    CHECK   202, r0, 0x88776655
    mvn     r3, #7                  @ -8
    ldr     r0, [r1, r3, asr #1]    @ buffer + 8 - 4
    CHECK   203, r0, 0x88776655
    ldr     r1, =buffer
    mov     r3, #24
    ldr     r0, [r1, r3, lsr #1]    @ + 12
    CHECK   204, r0, 0x7F80FF01
    mov     r3, #0x80000000
    ldr     r0, [r1, r3, lsr #32]   @ LSR #32: offset 0
    CHECK   205, r0, 0x44332211
    ldrb    r0, [r1, r3, asr #32]   @ ASR #32 of a negative value: -1
    CHECK   206, r0, 0xA5
    mov     r3, #1
    ldr     r0, [r1, r3, ror #30]   @ 1 ror 30 = 4
    CHECK   207, r0, 0x88776655
    mov     r3, #16
    SET_FLAGS 0
    ldr     r0, [r1, r3, rrx]       @ C = 0: 16 >> 1 = 8
    CHECK   208, r0, 0xCCBBAA99
    mov     r3, #3
    SET_FLAGS FLAG_N|FLAG_Z|FLAG_V
    ldr     r0, [r1, r3, lsr #1]    @ a shifter carry out must not reach C
    CHECK_FLAGS 209, FLAG_N|FLAG_Z|FLAG_V
    mov     r3, #12
    ldr     r0, [r1, r3]!
    CHECK   210, r0, 0x7F80FF01
    CHECK   211, r1, buffer + 12
    ldr     r0, [r1], -r3           @ post-indexed register offset
    CHECK   212, r0, 0x7F80FF01
    CHECK   213, r1, buffer
    mov     r3, #1
    ldr     r0, [r1], r3, lsl #3    @ + 8 afterwards
    CHECK   214, r0, 0x44332211
    CHECK   215, r1, buffer + 8
    ldr     r2, =0x600DCAFE
    mov     r3, #3
    str     r2, [r1, r3, lsl #2]    @ buffer + 8 + 12
    ldr     r0, =buffer
    ldr     r0, [r0, #20]
    CHECK   216, r0, 0x600DCAFE
    ldr     r2, =0xFACE0FF0
    str     r2, [r1, -r3, lsl #1]!  @ buffer + 8 - 6: aligned down to + 0
    CHECK   217, r1, buffer + 2
    ldr     r0, =buffer
    ldr     r0, [r0]
    CHECK   218, r0, 0xFACE0FF0

@ --- bytes (300) ---------------------------------------------------------------
    bl      reset_buffer
    ldr     r1, =buffer
    ldrb    r0, [r1, #12]
    CHECK   300, r0, 0x01
    ldrb    r0, [r1, #13]           @ zero-extended
    CHECK   301, r0, 0xFF
    ldrb    r0, [r1, #14]
    CHECK   302, r0, 0x80
    ldrb    r0, [r1, #15]
    CHECK   303, r0, 0x7F
    ldr     r2, =0x123456AB
    strb    r2, [r1, #21]           @ only the low byte, only that byte
    ldr     r0, [r1, #20]
    CHECK   304, r0, 0x0000AB00
    ldrb    r0, [r1], #1
    CHECK   305, r0, 0x11
    CHECK   306, r1, buffer + 1
    mov     r3, #2
    ldrb    r0, [r1, r3]!           @ buffer + 3
    CHECK   307, r0, 0x44
    CHECK   308, r1, buffer + 3
    mov     r2, #0x5A
    strb    r2, [r1, #20]!          @ buffer + 23
    CHECK   309, r1, buffer + 23
    ldr     r0, =buffer
    ldr     r0, [r0, #20]
    CHECK   310, r0, 0x5A00AB00
    strb    r2, [r1], -r3           @ buffer + 23 again, then back to + 21
    CHECK   311, r1, buffer + 21

@ --- halfwords and signed loads (400) -------------------------------------------
    bl      reset_buffer
    ldr     r1, =buffer
    ldrh    r0, [r1, #16]
    CHECK   400, r0, 0x7FFF
    ldrh    r0, [r1, #18]           @ zero-extended
    CHECK   401, r0, 0x8001
    ldrsh   r0, [r1, #16]
    CHECK   402, r0, 0x7FFF
    ldrsh   r0, [r1, #18]
    CHECK   403, r0, 0xFFFF8001
    ldrsb   r0, [r1, #13]
    CHECK   404, r0, 0xFFFFFFFF
    ldrsb   r0, [r1, #14]
    CHECK   405, r0, 0xFFFFFF80
    ldrsb   r0, [r1, #15]
    CHECK   406, r0, 0x7F
    ldrsb   r0, [r1, #-1]           @ A5
    CHECK   407, r0, 0xFFFFFFA5
    ldr     r2, =0x12345678
    strh    r2, [r1, #20]           @ only the low halfword
    ldr     r0, [r1, #20]
    CHECK   408, r0, 0x00005678
    strh    r2, [r1, #22]
    ldr     r0, [r1, #20]
    CHECK   409, r0, 0x56785678
    mov     r3, #2
    ldrh    r0, [r1, r3]            @ register offset
    CHECK   410, r0, 0x4433
    add     r1, r1, #4
    ldrh    r0, [r1, -r3]           @ buffer + 2
    CHECK   411, r0, 0x4433
    ldrh    r0, [r1, #2]!           @ buffer + 6
    CHECK   412, r0, 0x8877
    CHECK   413, r1, buffer + 6
    ldr     r1, =buffer - 0x10
    ldrh    r0, [r1, #0x22]         @ buffer + 18: both halves of the offset field
    CHECK   414, r0, 0x8001
    ldr     r1, =buffer + 0x100
    ldrh    r0, [r1, #-0xF0]        @ buffer + 16
    CHECK   415, r0, 0x7FFF
    ldr     r1, =buffer + 18
    ldrsh   r0, [r1], #2            @ post-indexed
    CHECK   416, r0, 0xFFFF8001
    CHECK   417, r1, buffer + 20
    ldr     r1, =buffer + 14
    mov     r3, #1
    ldrsb   r0, [r1], r3
    CHECK   418, r0, 0xFFFFFF80
    CHECK   419, r1, buffer + 15
    ldrsb   r0, [r1, -r3]!          @ buffer + 14
    CHECK   420, r0, 0xFFFFFF80
    CHECK   421, r1, buffer + 14
    ldr     r1, =buffer + 24
    mov     r3, #4
    ldr     r2, =0xAAAA1234
    strh    r2, [r1], r3            @ at + 24, then + 28
    CHECK   422, r1, buffer + 28
    strh    r2, [r1, -r3]!          @ at + 24 again, the same halfword
    strh    r2, [r1, #6]            @ + 30
    ldr     r0, =buffer
    ldr     r0, [r0, #24]
    CHECK   423, r0, 0x00001234
    ldr     r0, =buffer
    ldr     r0, [r0, #28]
    CHECK   424, r0, 0x12340000
    CHECK   425, r1, buffer + 24
    ldr     r1, =buffer + 16
    ldrsh   r0, [r1, #-16]!         @ + 0: 2211
    CHECK   426, r0, 0x2211
    CHECK   427, r1, buffer

@ --- unaligned loads and stores (500) -----------------------------------------
    bl      reset_buffer
    ldr     r1, =buffer
    ldr     r0, [r1, #1]            @ the word at + 0 rotated right by 8
    CHECK   500, r0, 0x11443322
    ldr     r0, [r1, #2]            @ ... by 16
    CHECK   501, r0, 0x22114433
    ldr     r0, [r1, #3]            @ ... by 24
    CHECK   502, r0, 0x33221144
    mov     r3, #5
    ldr     r0, [r1, r3]            @ the word at + 4 rotated right by 8
    CHECK   503, r0, 0x55887766
    ldrh    r0, [r1, #1]            @ the halfword at + 0 (2211) rotated right by 8
    CHECK   504, r0, 0x11000022
    ldrh    r0, [r1, #3]            @ the halfword at + 2 (4433) rotated right by 8
    CHECK   505, r0, 0x33000044
    ldrsh   r0, [r1, #1]            @ odd: the byte 22, sign-extended
    CHECK   506, r0, 0x22
    ldrsh   r0, [r1, #13]           @ the byte FF
    CHECK   507, r0, 0xFFFFFFFF
    ldrsh   r0, [r1, #15]           @ the byte 7F
    CHECK   508, r0, 0x7F
    ldrsh   r0, [r1, #14]           @ even: the halfword 7F80
    CHECK   509, r0, 0x7F80
    ldrb    r0, [r1, #5]
    CHECK   510, r0, 0x66
    ldr     r2, =0xCAFEBABE
    str     r2, [r1, #21]           @ lands on + 20
    ldr     r0, [r1, #20]
    CHECK   511, r0, 0xCAFEBABE
    ldr     r0, [r1, #24]
    CHECK   512, r0, 0
    ldr     r2, =0x0000BEEF
    strh    r2, [r1, #27]           @ lands on + 26
    ldr     r0, [r1, #24]
    CHECK   513, r0, 0xBEEF0000
    ldr     r0, [r1, #1]!           @ write-back keeps the unaligned address
    CHECK   514, r0, 0x11443322
    CHECK   515, r1, buffer + 1
    ldrh    r0, [r1], #2            @ post-indexed from + 1
    CHECK   516, r0, 0x11000022
    CHECK   517, r1, buffer + 3
@ LDR r15 uses the rotated value: the word at + 28 holds the target
@ rotated left by 8, and the load from + 29 rotates it right by 8.
    mov     r0, #0
    ldr     r1, =buffer
    ldr     r2, =unaligned_target
    mov     r2, r2, ror #24
    str     r2, [r1, #28]
    ldr     pc, [r1, #29]
    mov     r0, #1                  @ skipped
unaligned_target:
    CHECK   518, r0, 0

@ --- r15 as base, stored value and destination (600) --------------------------
    ldr     r1, =buffer
pc_store:
    str     pc, [r1]                @ the instruction's address + 8
    ldr     r0, [r1]
    CHECK   600, r0, pc_store + 8
pc_load:
    ldr     r0, [pc, #-8]           @ base pc_load + 8: reads this instruction
    CHECK   601, r0, 0xE51F0008
    ldr     r0, pc_literal          @ PC-relative literal
    CHECK   602, r0, 0x13572468
    mov     r0, #0
    ldr     r2, =pc_target
    str     r2, [r1]
    ldr     pc, [r1]
    mov     r0, #1                  @ skipped
pc_target:
    CHECK   603, r0, 0
    mov     r0, #0
    ldr     r2, =pc_target_2
    str     r2, [r1, #8]
    mov     r3, #2
    ldr     pc, [r1, r3, lsl #2]
    mov     r0, #1                  @ skipped
pc_target_2:
    CHECK   604, r0, 0

@ --- the destination is also the base (700) ------------------------------------
@ Without write-back the loaded value is the result. With write-back the
@ processor leaves the outcome open; this console's rule: the word forms
@ keep the written-back address, the halfword forms step the loaded value.
    bl      reset_buffer
    ldr     r1, =buffer
    ldr     r1, [r1, #4]            @ no write-back: the loaded value
    CHECK   700, r1, 0x88776655
    ldr     r1, =buffer
    .word   0xE4911004              @ ldr r1, [r1], #4: the base wins
    CHECK   701, r1, buffer + 4
    ldr     r1, =buffer
    .word   0xE5B11008              @ ldr r1, [r1, #8]!: the address wins
    CHECK   702, r1, buffer + 8
    ldr     r1, =buffer + 16
    .word   0xE0D110B4              @ ldrh r1, [r1], #4: loaded, then stepped
    CHECK   703, r1, 0x7FFF + 4

@ --- SWP and SWPB (800) ---------------------------------------------------------
    bl      reset_buffer
    ldr     r1, =buffer
    ldr     r2, =0x0A0B0C0D
    swp     r0, r2, [r1]
    CHECK   800, r0, 0x44332211
    ldr     r0, [r1]
    CHECK   801, r0, 0x0A0B0C0D
    mov     r2, #0xE7
    add     r1, r1, #5
    swpb    r0, r2, [r1]            @ the byte at + 5 only
    CHECK   802, r0, 0x66
    ldr     r1, =buffer
    ldr     r0, [r1, #4]
    CHECK   803, r0, 0x8877E755
    ldr     r0, =0x31415926
    swp     r0, r0, [r1]            @ Rm is read before Rd is written
    CHECK   804, r0, 0x0A0B0C0D
    ldr     r0, [r1]
    CHECK   805, r0, 0x31415926
    ldr     r2, =0x27182818
    add     r1, r1, #10
    swp     r0, r2, [r1]            @ the word at + 8 rotated right by 16
    CHECK   806, r0, 0xAA99CCBB
    ldr     r1, =buffer
    ldr     r0, [r1, #8]            @ the store went to the aligned word
    CHECK   807, r0, 0x27182818
    ldr     r0, [r1, #12]
    CHECK   808, r0, 0x7F80FF01

    MAIN_END

pc_literal:
    .word   0x13572468
