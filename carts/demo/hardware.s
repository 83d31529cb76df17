@ The two routines of the demo that talk to the console's hardware most
@ directly, in ARM code; the C code (Thumb) reaches them through the
@ linker's interworking stubs.
    .text
    .arm

@ void wait_vblank(void): returns at the start of the next v-blank. The
@ flag (DISP_SR bit 0) stays set for the whole v-blank, so first wait for
@ it to clear (the current v-blank, if any, is over), then for it to set.
    .global wait_vblank
    .type   wait_vblank, %function
wait_vblank:
    mov     r0, #0x04000000
1:  ldrh    r1, [r0, #4]
    tst     r1, #1
    bne     1b
2:  ldrh    r1, [r0, #4]
    tst     r1, #1
    beq     2b
    bx      lr
    .size   wait_vblank, . - wait_vblank

@ void dma3_copy(const void *source, void *dest, uint32_t halfwords):
@ DMA channel 3 copies halfwords, both addresses rising; the copy is over
@ when the store that starts it is. Count 1-65535.
    .global dma3_copy
    .type   dma3_copy, %function
dma3_copy:
    mov     r3, #0x04000000
    add     r3, r3, #0xD4
    str     r0, [r3]                @ source
    str     r1, [r3, #4]            @ destination
    orr     r2, r2, #0x80000000     @ enable, halfword units, count in 0-15
    str     r2, [r3, #8]            @ count and control: starts the copy
    bx      lr
    .size   dma3_copy, . - dma3_copy
