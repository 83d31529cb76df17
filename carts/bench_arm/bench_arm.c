/* The ARM interpreter's benchmark: integer kernels in ARM code that run
   for ever, so that every emulated frame is full of instructions. Each
   round adds one to the results block's passed count and leaves its
   checksum in first_failure's place, which bench/run reports. */
#include <stdint.h>

#include "results.h"

#define WORDS 256

static uint32_t data[WORDS];
static uint32_t table[256];
static uint32_t copy[WORDS];

/* In bench_kernels.s: block copies with LDM/STM and a multiply-accumulate
   loop. */
void block_copy(uint32_t* to, const uint32_t* from, uint32_t words);
uint32_t multiply_accumulate(const uint32_t* v, uint32_t words, uint32_t seed);

static uint32_t crc32(const uint8_t* p, uint32_t n) {
    uint32_t c = 0xFFFFFFFFu;
    while (n--) c = table[(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

static void shell_sort(uint32_t* v, int n) {
    for (int gap = n / 2; gap > 0; gap /= 2)
        for (int i = gap; i < n; i++) {
            uint32_t t = v[i];
            int j = i;
            for (; j >= gap && v[j - gap] > t; j -= gap) v[j] = v[j - gap];
            v[j] = t;
        }
}

static uint32_t bytes_and_halves(const uint32_t* v, int n) {
    const uint8_t* b = (const uint8_t*)v;
    const uint16_t* h = (const uint16_t*)v;
    uint32_t s = 0;
    for (int i = 0; i < n; i++) s += (uint32_t)b[i * 3] * 3u ^ h[i];
    return s;
}

int main(void) {
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    uint32_t x = 0x9E3779B9u;
    for (;;) {
        for (int i = 0; i < WORDS; i++) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            data[i] = x;
        }
        uint32_t sum = crc32((const uint8_t*)data, sizeof data);
        block_copy(copy, data, WORDS);
        shell_sort(copy, WORDS);
        sum += multiply_accumulate(copy, WORDS, sum);
        sum ^= bytes_and_halves(copy, WORDS / 2);
        sum += copy[0] / (copy[WORDS - 1] / 65536u + 1u); /* a libgcc division */
        RESULTS->first_failure = sum;
        RESULTS->passed++;
    }
}
