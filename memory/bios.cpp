// The built-in BIOS image: eight exception vectors and minimal handlers.
// Software interrupts return at once, so BIOS calls perform nothing.
#include "memory/memory.h"

// clang-format off
const uint32_t bios_image[BIOS_WORDS] = {
    0xEA000015,  // 0x00 B 0x5C                        reset vector
    0xEA000016,  // 0x04 B 0x64                        undefined instruction
    0xEA00000A,  // 0x08 B 0x38                        software interrupt
    0xEA000016,  // 0x0C B 0x6C                        prefetch abort
    0xEA000015,  // 0x10 B 0x6C                        data abort
    0xEA000016,  // 0x14 B 0x74                        reserved
    0xEA000000,  // 0x18 B 0x20                        interrupt (IRQ)
    0xEA000015,  // 0x1C B 0x78                        fast interrupt (FIQ)
    0xE92D500F,  // 0x20 STMFD SP!, {R0-R3, R12, LR}   IRQ: save scratch registers
    0xE28FE004,  // 0x24 ADD LR, PC, #4                IRQ: handler returns to 0x30
    0xE59F005C,  // 0x28 LDR R0, [PC, #0x5C]           IRQ: R0 = 0x03007FFC
    0xE590F000,  // 0x2C LDR PC, [R0]                  IRQ: the program's handler
    0xE8BD500F,  // 0x30 LDMFD SP!, {R0-R3, R12, LR}   IRQ: restore
    0xE25EF004,  // 0x34 SUBS PC, LR, #4               IRQ: return
    0xE92D5800,  // 0x38 STMFD SP!, {R11, R12, LR}     SWI: save
    0xEA000004,  // 0x3C B 0x54                        SWI: straight to the exit
    0xE55EC002,  // 0x40 LDRB R12, [LR, #-2]           not run
    0xE35C001E,  // 0x44 CMP R12, #0x1E                not run
    0xAA000001,  // 0x48 BGE 0x54                      not run
    0xE59FB03C,  // 0x4C LDR R11, [PC, #0x3C]          not run
    0xE79BC10C,  // 0x50 LDR R12, [R11, R12, LSL #2]   not run
    0xE8BD5800,  // 0x54 LDMFD SP!, {R11, R12, LR}     SWI: restore
    0xE1B0F00E,  // 0x58 MOVS PC, LR                   SWI: return after the SWI
    0xE3A0F302,  // 0x5C MOV PC, #0x08000000           reset: start of the cartridge
    0xEA000006,  // 0x60 B 0x80                        never reached
    0xE1B0F00E,  // 0x64 MOVS PC, LR                   undefined: continue after it
    0xEA000004,  // 0x68 B 0x80                        never reached
    0xE25EF004,  // 0x6C SUBS PC, LR, #4               aborts: return to LR - 4
    0xEA000002,  // 0x70 B 0x80                        never reached
    0xEA000001,  // 0x74 B 0x80                        reserved: into the halt loop
    0xE25EF004,  // 0x78 SUBS PC, LR, #4               FIQ: return
    0xEAFFFFFF,  // 0x7C B 0x80                        never reached
    0xEAFFFFFE,  // 0x80 B 0x80                        halt: branch to itself
    0x7473654B,  // 0x84 "Kest"                        tag, read by nothing
    0x00000A0D,  // 0x88 CR, LF, 0, 0
    0x03007FFC,  // 0x8C where the program keeps its interrupt handler
    0x00000084,  // 0x90 base of the SWI call table that never runs
};
// clang-format on

// Through the bus, whose BIOS regions store 32-bit writes only.
void write_bios_image() {
    for (int i = 0; i < BIOS_WORDS; i++) mem_write32(uint32_t(4 * i), bios_image[i]);
}
