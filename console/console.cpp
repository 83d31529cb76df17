// The console's reset.
#include "console/console.h"

#include "cpu/cpu.h"
#include "dynarec/dynarec.h"
#include "memory/memory.h"
#include "video/video.h"

void console_reset() {
    memory_reset();
    clear_screen();
    dynarec_flush();
    cpu_reset();
}
