// The console as a whole: the reset that starts every cartridge from the
// same state. Every load calls it, and so does every test fixture.
#pragma once

// The console's memory as a cartridge starts it (memory_reset: video memory
// cleared, DMA3's registers zero), the picture cleared, the recompiler's
// translations dropped, and the processor reset (cpu_reset: every register, bank, SPSR
// and flag cleared, System mode, the Interpretative method, the first word
// at 0x08000000 latched). The cartridge must be installed first.
void console_reset();
