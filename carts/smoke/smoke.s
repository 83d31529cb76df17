@ The smallest cartridge that proves the start code and the results block:
@ main counts one passed case and returns 42.
    .text
    .arm
    .global main
main:
    ldr     r1, =0x03000000
    mov     r0, #1
    str     r0, [r1, #8]            @ passed = 1
    mov     r0, #42
    bx      lr
    .pool
