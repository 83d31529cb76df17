// Raw appends to the code buffer, under the x86 forms (x86.h): the only
// writers of new code. The caller has made room (translate_block) and made
// the buffer writable. Inline: a block's translation appends a few hundred
// bytes one at a time.
#pragma once

#include <cstdint>

#include "dynarec/code_buffer.h"

inline void emit_u8(uint8_t b) { code_append8(b); }

inline void emit_u32(uint32_t v) {
    for (int i = 0; i < 4; i++) code_write_view[code_pos + i] = uint8_t(v >> (8 * i));
    code_pos += 4;
}
