// Raw appends to the code buffer.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/emitter.h"

void emit_u8(uint8_t b) { code_append8(b); }

void emit_u32(uint32_t v) {
    for (int i = 0; i < 4; i++) emit_u8(uint8_t(v >> (8 * i)));
}

#endif
