@ The multiply family: MUL, MLA and the unsigned and signed long forms,
@ with and without S. The flag-setting forms set N and Z from the (64-bit)
@ result and keep C and V as they were. Flags are written as NZCV.
    .include "check.inc"

@ <op> r0 (low), r1 (high), r2, r3 with r2 = a, r3 = b, the pair preset to
@ hi:lo (for the accumulating forms); cases n (low) and n + 1 (high).
    .macro  LONG n, op, a, b, hi, lo, result_hi, result_lo
    ldr     r2, =\a
    ldr     r3, =\b
    ldr     r1, =\hi
    ldr     r0, =\lo
    \op     r0, r1, r2, r3
    CHECK   \n, r0, \result_lo
    CHECK   \n+1, r1, \result_hi
    .endm

@ The same with the flags preset; case n + 2 checks them.
    .macro  LONG_FLAGS n, op, a, b, hi, lo, result_hi, result_lo, preset, nzcv
    ldr     r2, =\a
    ldr     r3, =\b
    ldr     r1, =\hi
    ldr     r0, =\lo
    SET_FLAGS \preset
    \op     r0, r1, r2, r3
    CHECK_FLAGS \n+2, \nzcv
    CHECK   \n, r0, \result_lo
    CHECK   \n+1, r1, \result_hi
    .endm

    .equ    N, FLAG_N
    .equ    Z, FLAG_Z
    .equ    C, FLAG_C
    .equ    V, FLAG_V

    MAIN_BEGIN

@ --- MUL and MLA: the low 32 bits (100) -----------------------------------
    mov     r1, #7
    mov     r2, #6
    mul     r0, r1, r2
    CHECK   100, r0, 42
    mvn     r1, #0
    mul     r0, r1, r1              @ (2^32 - 1)^2 = 2^64 - 2^33 + 1
    CHECK   101, r0, 1
    mov     r1, #0x10000
    mul     r0, r1, r1              @ 2^32: low word 0
    CHECK   102, r0, 0
    ldr     r1, =0x12345678
    ldr     r2, =0x9ABCDEF0
    mul     r0, r1, r2              @ 0B00EA4E 242D2080
    CHECK   103, r0, 0x242D2080
    mov     r1, #3
    mov     r2, #4
    mov     r3, #5
    mla     r0, r1, r2, r3
    CHECK   104, r0, 17
    mvn     r1, #0
    mov     r2, #2
    mov     r3, #3
    mla     r0, r1, r2, r3          @ 1 FFFFFFFE + 3 = 2 00000001
    CHECK   105, r0, 1
    mov     r1, #0xFFFFFFFE         @ -2 x -3 = 6
    mvn     r2, #2
    mul     r0, r1, r2
    CHECK   106, r0, 6

@ --- MULS and MLAS: N and Z, C and V kept (200) -----------------------------
    mov     r1, #0x10000
    SET_FLAGS C|V
    muls    r0, r1, r1
    CHECK_FLAGS 200, Z|C|V
    mvn     r1, #0
    mov     r2, #2
    SET_FLAGS 0
    muls    r0, r1, r2
    CHECK_FLAGS 201, N
    CHECK   202, r0, 0xFFFFFFFE
    mov     r1, #1
    mvn     r3, #0
    SET_FLAGS N
    mlas    r0, r1, r1, r3          @ 1 + FFFFFFFF = 0
    CHECK_FLAGS 203, Z
    CHECK   204, r0, 0
    mov     r1, #3
    mov     r2, #5
    SET_FLAGS Z|C
    mlas    r0, r1, r2, r1          @ 15 + 3
    CHECK_FLAGS 205, C
    CHECK   206, r0, 18

@ --- UMULL and UMLAL (300) ----------------------------------------------------
@        case op     a           b           hi          lo          = hi          lo
    LONG 300, umull, 0xFFFFFFFF, 0xFFFFFFFF, 0,          0,          0xFFFFFFFE, 0x00000001
    LONG 302, umull, 0x12345678, 0x9ABCDEF0, 0,          0,          0x0B00EA4E, 0x242D2080
    LONG 304, umull, 0x00010000, 0x00010000, 0x55555555, 0x55555555, 0x00000001, 0x00000000
    LONG 306, umlal, 0x00000002, 0x00000003, 0x00000001, 0xFFFFFFFF, 0x00000002, 0x00000005
    LONG 308, umlal, 0x00000001, 0x00000001, 0xFFFFFFFF, 0xFFFFFFFF, 0x00000000, 0x00000000
    LONG 310, umlal, 0xFFFFFFFF, 0xFFFFFFFF, 0x00000001, 0xFFFFFFFF, 0x00000000, 0x00000000  @ exactly 2^64

@ --- SMULL and SMLAL (400) ----------------------------------------------------
    LONG 400, smull, 0xFFFFFFFF, 0x00000002, 0,          0,          0xFFFFFFFF, 0xFFFFFFFE
    LONG 402, smull, 0x80000000, 0x80000000, 0,          0,          0x40000000, 0x00000000
    LONG 404, smull, 0x80000000, 0x7FFFFFFF, 0,          0,          0xC0000000, 0x80000000
    LONG 406, smull, 0x12345678, 0xFEDCBA98, 0,          0,          0xFFEB4992, 0x35068740
    LONG 408, smull, 0xFFFFFFFF, 0xFFFFFFFF, 7,          7,          0x00000000, 0x00000001
    LONG 410, smlal, 0xFFFFFFFF, 0x00000005, 0x00000000, 0x00000010, 0x00000000, 0x0000000B
    LONG 412, smlal, 0x00000002, 0x00000003, 0xFFFFFFFF, 0xFFFFFFFF, 0x00000000, 0x00000005
    LONG 414, smlal, 0xFFFFFFFD, 0x00000007, 0x00000000, 0x00000000, 0xFFFFFFFF, 0xFFFFFFEB
    LONG 416, smlal, 0x80000000, 0x00000002, 0x00000001, 0x00000000, 0x00000000, 0x00000000

@ --- flag-setting long forms: N = bit 63, Z = all 64 bits zero (500) ---------
@              case op      a           b           hi          lo          = hi          lo          preset  NZCV
    LONG_FLAGS 500, umulls, 0x00010000, 0x00010000, 0,          0,          0x00000001, 0x00000000, Z|C|V, C|V
    LONG_FLAGS 503, umulls, 0x00000000, 0x00000005, 0,          0,          0x00000000, 0x00000000, N|C,   Z|C
    LONG_FLAGS 506, umulls, 0xFFFFFFFF, 0xFFFFFFFF, 0,          0,          0xFFFFFFFE, 0x00000001, V,     N|V
    LONG_FLAGS 509, umlals, 0x00000001, 0x00000001, 0xFFFFFFFF, 0xFFFFFFFF, 0x00000000, 0x00000000, 0,     Z
    LONG_FLAGS 512, umlals, 0x00000001, 0x00000001, 0x7FFFFFFF, 0xFFFFFFFF, 0x80000000, 0x00000000, Z,     N
    LONG_FLAGS 515, smulls, 0xFFFFFFFF, 0x00000001, 0,          0,          0xFFFFFFFF, 0xFFFFFFFF, 0,     N
    LONG_FLAGS 518, smulls, 0x00000000, 0xFFFFFFFB, 0,          0,          0x00000000, 0x00000000, N|V,   Z|V
    LONG_FLAGS 521, smulls, 0x00010000, 0x00010000, 0,          0,          0x00000001, 0x00000000, Z|C,   C
    LONG_FLAGS 524, smlals, 0xFFFFFFFF, 0x00000005, 0x00000000, 0x00000005, 0x00000000, 0x00000000, N|V,   Z|V
    LONG_FLAGS 527, smlals, 0xFFFFFFFF, 0x00000001, 0x00000000, 0x00000000, 0xFFFFFFFF, 0xFFFFFFFF, C,     N|C
    LONG_FLAGS 530, smlals, 0x00000003, 0x00000004, 0x80000000, 0x00000000, 0x80000000, 0x0000000C, 0,     N

    MAIN_END
