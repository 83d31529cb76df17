// Raw appends to the code buffer, under the x86 forms (x86.h): the only
// writers of new code. The caller has made room (translate_block) and made
// the buffer writable.
#pragma once

#include <cstdint>

#include "dynarec/code_buffer.h"

void emit_u8(uint8_t b);
void emit_u32(uint32_t v);
