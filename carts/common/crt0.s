@ Start-up code of our cartridges: an ARM branch at 0x08000000, room for the
@ 0xC0-byte cartridge header, then set the stack, copy .data to work RAM and
@ .iram to internal RAM, clear .bss, open the results block and call main (ARM or Thumb, through
@ BX). When main returns, its result is recorded and the program waits for
@ ever. No BIOS calls, no interrupts.
    .section .text.start, "ax"
    .arm
    .global _start
_start:
    b       start_code
    .space  0xC0 - 4                @ cartridge header

start_code:
    ldr     sp, =__stack_top
    ldr     r0, =__data_load        @ .data: load address in the image
    ldr     r1, =__data_start       @ run address in work RAM
    ldr     r2, =__data_end
1:  cmp     r1, r2
    ldrlo   r3, [r0], #4
    strlo   r3, [r1], #4
    blo     1b
    ldr     r0, =__iram_load        @ .iram: code and data run from internal RAM
    ldr     r1, =__iram_start
    ldr     r2, =__iram_end
4:  cmp     r1, r2
    ldrlo   r3, [r0], #4
    strlo   r3, [r1], #4
    blo     4b
    ldr     r1, =__bss_start
    ldr     r2, =__bss_end
    mov     r3, #0
2:  cmp     r1, r2
    strlo   r3, [r1], #4
    blo     2b

    ldr     r4, =RESULTS_ADDRESS    @ results block: magic, running
    ldr     r0, =RESULTS_MAGIC
    str     r0, [r4, #0]
    mov     r0, #0
    str     r0, [r4, #4]

    ldr     r0, =main
    mov     lr, pc
    bx      r0                      @ ARM or Thumb main, by bit 0

    ldr     r4, =RESULTS_ADDRESS
    str     r0, [r4, #20]           @ exit code
    mov     r0, #1
    str     r0, [r4, #4]            @ finished
3:  b       3b

    .equ    RESULTS_ADDRESS, 0x03000000
    .equ    RESULTS_MAGIC, 0x514F5252
    .pool
