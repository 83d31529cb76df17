@ The barrel shifter through MOVS (flags from the shifter) and MOV (no flag
@ changes): every shift type with immediate amounts, including the
@ encodings of amount 0 (LSL #0 keeps C, LSR #0 and ASR #0 mean 32, ROR #0
@ is RRX), and with register-specified amounts 0, 1-31, 32 and above.
@ The shifter never changes V. Each case checks the flags (NZCV, 0x0-0xF)
@ as case n and the result as case n + 1.
    .include "check.inc"

@ MOVS r0, r1, <type> #<amount> with r1 = value, flags preset to preset.
    .macro  IMM n, preset, value, type, amount, result, nzcv
    ldr     r1, =\value
    SET_FLAGS \preset
    movs    r0, r1, \type #\amount
    CHECK_FLAGS \n, \nzcv
    CHECK   \n+1, r0, \result
    .endm

@ MOVS r0, r1, <type> r2 with r1 = value, r2 = amount.
    .macro  REG n, preset, value, type, amount, result, nzcv
    ldr     r1, =\value
    ldr     r2, =\amount
    SET_FLAGS \preset
    movs    r0, r1, \type r2
    CHECK_FLAGS \n, \nzcv
    CHECK   \n+1, r0, \result
    .endm

@ MOV r0, r1, <type> r2: the same values, the flags untouched.
    .macro  REG_NOFLAGS n, preset, value, type, amount, result
    ldr     r1, =\value
    ldr     r2, =\amount
    SET_FLAGS \preset
    mov     r0, r1, \type r2
    CHECK_FLAGS \n, \preset
    CHECK   \n+1, r0, \result
    .endm

    .equ    N, FLAG_N
    .equ    Z, FLAG_Z
    .equ    C, FLAG_C
    .equ    V, FLAG_V

    MAIN_BEGIN

@ --- immediate amounts (100) ---------------------------------------------
@       case preset value       type amount result      NZCV
    IMM 100, C|V, 0x80000001, lsl, 0,  0x80000001, N|C|V  @ LSL #0: C kept
    IMM 102, 0,   0x40000000, lsl, 1,  0x80000000, N      @ C = bit 31; V kept
    IMM 104, V,   0x1000000F, lsl, 4,  0x000000F0, C|V    @ C = bit 28
    IMM 106, 0,   0x00000003, lsl, 31, 0x80000000, N|C    @ C = bit 1
    IMM 108, V,   0x80000000, lsr, 32, 0,          Z|C|V  @ LSR #0 = 32: C = bit 31
    IMM 110, 0,   0x00000003, lsr, 1,  0x00000001, C      @ C = bit 0
    IMM 112, C,   0x80000000, lsr, 31, 0x00000001, 0      @ C = bit 30
    IMM 114, V,   0x80000000, asr, 32, 0xFFFFFFFF, N|C|V  @ ASR #0 = 32: sign fill
    IMM 116, C,   0x7FFFFFFF, asr, 32, 0,          Z      @ C = bit 31 = 0
    IMM 118, V,   0x80000010, asr, 4,  0xF8000001, N|V    @ C = bit 3 = 0; V kept
    IMM 120, 0,   0x80000008, asr, 4,  0xF8000000, N|C    @ C = bit 3 = 1
    IMM 122, 0,   0x000000FF, ror, 8,  0xFF000000, N|C    @ C = bit 7
    IMM 124, C|V, 0x12345678, ror, 4,  0x81234567, N|C|V  @ C = bit 3
    IMM 126, C,   0x00000010, ror, 4,  0x00000001, 0      @ C = bit 3 = 0
    IMM 128, 0,   0x00000001, ror, 1,  0x80000000, N|C    @ C = bit 0

@ RRX (ROR #0): old C into bit 31, bit 0 into C, V kept.
    ldr     r1, =2
    SET_FLAGS C
    movs    r0, r1, rrx
    CHECK_FLAGS 140, N
    CHECK   141, r0, 0x80000001
    ldr     r1, =3
    SET_FLAGS V
    movs    r0, r1, rrx
    CHECK_FLAGS 142, C|V
    CHECK   143, r0, 0x00000001
    ldr     r1, =0xFFFFFFFE
    SET_FLAGS C
    mov     r0, r1, rrx             @ no S: flags kept, old C shifted in
    CHECK_FLAGS 144, C
    CHECK   145, r0, 0xFFFFFFFF

@ --- register-specified amounts: the low byte of Rs (200) -----------------
@       case preset value       type amount      result      NZCV
    REG 200, C,   0x80000001, lsl, 0,          0x80000001, N|C  @ 0: all kept
    REG 202, 0,   0x80000001, lsl, 0x100,      0x80000001, N    @ low byte 0
    REG 204, 0,   0x00000001, lsl, 32,         0,          Z|C  @ C = bit 0
    REG 206, C,   0x00000002, lsl, 32,         0,          Z    @ C = bit 0 = 0
    REG 208, C,   0xFFFFFFFF, lsl, 33,         0,          Z    @ over 32: C = 0
    REG 210, 0,   0xF000000F, lsl, 0x104,      0x000000F0, C    @ amount 4
    REG 212, V,   0x00000001, lsl, 31,         0x80000000, N|V  @ C = bit 1
    REG 214, C,   0xFFFFFFFF, lsl, 255,        0,          Z
    REG 216, 0,   0x80000000, lsr, 0,          0x80000000, N    @ 0: all kept
    REG 218, 0,   0x80000000, lsr, 32,         0,          Z|C  @ C = bit 31
    REG 220, C,   0xFFFFFFFF, lsr, 33,         0,          Z    @ over 32: C = 0
    REG 222, C,   0xFFFFFFFF, lsr, 255,        0,          Z
    REG 224, 0,   0x00000006, lsr, 2,          0x00000001, C    @ C = bit 1
    REG 226, V,   0x80000000, lsr, 0xFFFFFF1F, 0x00000001, V    @ amount 31
    REG 228, C,   0x80000000, asr, 0,          0x80000000, N|C  @ 0: all kept
    REG 230, 0,   0x80000000, asr, 32,         0xFFFFFFFF, N|C  @ sign fill
    REG 232, C,   0x40000000, asr, 40,         0,          Z    @ C = bit 31 = 0
    REG 234, 0,   0x80000000, asr, 255,        0xFFFFFFFF, N|C
    REG 236, V,   0x80000000, asr, 1,          0xC0000000, N|V  @ C = bit 0
    REG 238, 0,   0x00000001, ror, 0,          0x00000001, 0    @ 0: all kept
    REG 240, C,   0x00000001, ror, 0x100,      0x00000001, C    @ low byte 0
    REG 242, 0,   0x80000001, ror, 32,         0x80000001, N|C  @ C = bit 31
    REG 244, 0,   0x0000000F, ror, 36,         0xF0000000, N|C  @ as ROR 4
    REG 246, C,   0x7FFFFFFF, ror, 64,         0x7FFFFFFF, 0    @ C = bit 31 = 0
    REG 248, 0,   0x00000080, ror, 8,          0x80000000, N|C  @ C = bit 7
    REG 250, C|V, 0x00000001, ror, 1,          0x80000000, N|C|V

@ --- register-specified amounts without S: values only (300) -------------
@               case preset value       type amount result
    REG_NOFLAGS 300, C,   0x80000001, lsl, 0,   0x80000001
    REG_NOFLAGS 302, 0,   0x00000001, lsl, 32,  0
    REG_NOFLAGS 304, C|V, 0x80000000, lsr, 0,   0x80000000
    REG_NOFLAGS 306, 0,   0x80000000, lsr, 32,  0
    REG_NOFLAGS 308, N,   0x80000000, asr, 0,   0x80000000
    REG_NOFLAGS 310, Z,   0x80000000, asr, 100, 0xFFFFFFFF
    REG_NOFLAGS 312, C,   0x12345678, ror, 0,   0x12345678
    REG_NOFLAGS 314, 0,   0x12345678, ror, 48,  0x56781234
    REG_NOFLAGS 316, V,   0x00000003, lsl, 4,   0x00000030

@ Shifted operands of the other operations.
    mov     r1, #0x100
    mov     r2, #3
    mov     r3, #2
    add     r0, r1, r2, lsl r3      @ 0x100 + 12
    CHECK   400, r0, 0x10C
    sub     r0, r1, r1, lsr r3      @ 0x100 - 0x40
    CHECK   401, r0, 0xC0
    mvn     r1, #0
    bic     r0, r1, r2, ror #2      @ 3 ror 2 = C0000000: clears bits 31 and 30
    CHECK   402, r0, 0x3FFFFFFF
    mov     r1, #0x80000000
    eor     r0, r1, r1, asr #3      @ 80000000 xor F0000000
    CHECK   403, r0, 0x70000000

    MAIN_END
