/* A Thumb-heavy benchmark: the kind of work compiled game code does (table
   CRC, sorting, copying, fixed-point arithmetic, a small state machine),
   repeated for ever. Every completed round adds one to the results block's
   pass count so that a run can tell the work went on. */
#include <stdint.h>

#include "results.h"

static uint32_t crc_table[256];
static int32_t values[256];
static uint8_t buffer_a[1024], buffer_b[1024];

static void make_crc_table(void) {
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crc_table[i] = c;
    }
}

static uint32_t crc32(const uint8_t* data, uint32_t length) {
    uint32_t c = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; i++) c = crc_table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

static void insertion_sort(int32_t* v, int n) {
    for (int i = 1; i < n; i++) {
        int32_t x = v[i];
        int j = i - 1;
        while (j >= 0 && v[j] > x) {
            v[j + 1] = v[j];
            j--;
        }
        v[j + 1] = x;
    }
}

static int32_t fixed_point_walk(int32_t x, int32_t y, int steps) {
    for (int i = 0; i < steps; i++) {
        int32_t nx = (x * 0xF000 - y * 0x1000) >> 16;
        int32_t ny = (x * 0x1000 + y * 0xF000) >> 16;
        x = nx + 3;
        y = ny - 1;
    }
    return x ^ y;
}

static uint32_t state_machine(const uint8_t* input, int n) {
    uint32_t state = 0, count = 0;
    for (int i = 0; i < n; i++) {
        switch (state) {
            case 0: state = input[i] & 1 ? 1 : 2; break;
            case 1: state = input[i] > 128 ? 3 : 0; break;
            case 2: state = input[i] < 64 ? 0 : 3; break;
            default: count++; state = input[i] & 3; break;
        }
    }
    return count;
}

int main(void) {
    make_crc_table();
    uint32_t seed = 12345;
    for (;;) {
        for (int i = 0; i < 256; i++) {
            seed = seed * 1103515245u + 12345u;
            values[i] = (int32_t)(seed >> 8);
        }
        insertion_sort(values, 64);
        for (int i = 0; i < 1024; i++) buffer_a[i] = (uint8_t)(values[i & 255] >> (i & 7));
        for (int i = 0; i < 1024; i++) buffer_b[i] = buffer_a[1023 - i];
        uint32_t sum = crc32(buffer_b, sizeof buffer_b);
        sum += (uint32_t)fixed_point_walk((int32_t)sum & 0xFFFF, 100, 200);
        sum += state_machine(buffer_a, 1024);
        RESULTS->reserved = sum;
        RESULTS->passed++;
    }
}
