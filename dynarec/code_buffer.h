// The code buffer: where translated blocks live, seen through two views of
// one memory object. Blocks run from `code_buffer`, which is readable and
// executable but never writable, and lies in static storage so that rel32
// calls and RIP-relative operands reach the processor state and the
// handlers. The emitter and every patch write through `code_write_view`,
// readable and writable but never executable, at the same offsets. No
// mapping is ever writable and executable at once, and no protection
// changes after start-up.
//
// Switching instead: where one object cannot be mapped twice (no memfd), or
// where the build asks for it (QUORRANT_CODE_BUFFER_SWITCHING), there is one
// view, made writable by code_buffer_writable() and executable again by
// code_buffer_executable(). Tools that watch code by its address, such as
// qemu-user and valgrind without --smc-check=all, never see a write through
// a second view and would run stale code; the 32-bit build, tested under
// qemu-i386, switches. With two views both calls do nothing, so every writer
// makes them.
//
// Size: chosen once at start-up, code_buffer_choose_size before
// code_buffer_init (dynarec.h); tests make it small so that a program
// fills it and the recompiler has to empty it.
#pragma once

#include <cstdint>

// The room reserved in static storage, and the size with two views.
constexpr uint32_t CODE_BUFFER_MAX_SIZE = 4u << 20;
// The size when switching: an mprotect costs in proportion to the pages it
// covers (some 600 us for 4 MB here, against 27 us for 64 KB), and the
// switching pays two per translation.
constexpr uint32_t CODE_BUFFER_SWITCHING_SIZE = 64u << 10;
// At least a few of the longest blocks.
constexpr uint32_t CODE_BUFFER_MIN_SIZE = 16u << 10;
// Asks code_buffer_choose_size for the size that suits the mode.
constexpr uint32_t CODE_BUFFER_DEFAULT_SIZE = 0;

extern uint8_t* const code_buffer;  // executable view
extern uint8_t* code_write_view;    // writable view (code_buffer when switching)
extern uint32_t code_buffer_size;   // bytes in use, fixed by code_buffer_init
extern uint32_t code_pos;           // where the next byte goes

// Takes effect at the next code_buffer_init; rounded up to whole pages and
// kept within [CODE_BUFFER_MIN_SIZE, CODE_BUFFER_MAX_SIZE], or the mode's
// own size for CODE_BUFFER_DEFAULT_SIZE.
void code_buffer_choose_size(uint32_t bytes);
// True when the buffer has its two views, false when it switches.
bool code_buffer_two_views();

void code_buffer_writable();
void code_buffer_executable();

// Appends a byte at code_pos; the caller has made sure there is room.
inline void code_append8(uint8_t b) { code_write_view[code_pos++] = b; }
// Rewrites code already in the buffer (a displacement, a link).
void code_patch8(uint32_t pos, uint8_t b);
void code_patch32(uint32_t pos, uint32_t v);
