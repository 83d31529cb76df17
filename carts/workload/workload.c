/* Integer work that exercises the compiler's code: sorting, CRC-32, 64-bit
   multiplication and division (through libgcc on the console), string and
   memory functions, printf, a bytecode interpreter with a switch table,
   variadic functions, an expression parser and a state machine.

   The same file builds for the host; a test compares what both print, line
   by line. So the program uses only fixed-width types, never relies on
   the signedness of char, and prints 64-bit values with its own formatting
   (the console's small printf has no 64-bit conversions). */
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* --- random numbers and sorting ------------------------------------------ */

static uint32_t random_state = 0x2545F491u;

static uint32_t next_random(void) {
    uint32_t x = random_state; /* xorshift32 */
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    random_state = x;
    return x;
}

#define COUNT 300
static uint32_t numbers[COUNT];
static uint32_t sorted_copy[COUNT];
static int32_t signed_numbers[COUNT];

static int compare_u32(const void* a, const void* b) {
    uint32_t x = *(const uint32_t*)a, y = *(const uint32_t*)b;
    return x < y ? -1 : x > y;
}

static int compare_i32_descending(const void* a, const void* b) {
    int32_t x = *(const int32_t*)a, y = *(const int32_t*)b;
    return x < y ? 1 : -(x > y);
}

static void insertion_sort(uint32_t* v, int n) {
    for (int i = 1; i < n; i++) {
        uint32_t key = v[i];
        int j = i - 1;
        while (j >= 0 && v[j] > key) {
            v[j + 1] = v[j];
            j--;
        }
        v[j + 1] = key;
    }
}

static void merge_sort(uint32_t* v, uint32_t* scratch, int n) {
    if (n < 2) return;
    int half = n / 2;
    merge_sort(v, scratch, half);
    merge_sort(v + half, scratch, n - half);
    int i = 0, j = half, k = 0;
    while (i < half && j < n) scratch[k++] = v[i] <= v[j] ? v[i++] : v[j++];
    while (i < half) scratch[k++] = v[i++];
    while (j < n) scratch[k++] = v[j++];
    memcpy(v, scratch, (size_t)n * sizeof *v);
}

static uint32_t mix(const uint32_t* v, int n) {
    uint32_t h = 2166136261u;
    for (int i = 0; i < n; i++) h = (h ^ v[i]) * 16777619u;
    return h;
}

static void sorting(void) {
    for (int i = 0; i < COUNT; i++) numbers[i] = next_random();
    memcpy(sorted_copy, numbers, sizeof numbers);
    qsort(sorted_copy, COUNT, sizeof sorted_copy[0], compare_u32);
    printf("qsort: min %08x max %08x median %08x mix %08x\n", (unsigned)sorted_copy[0],
           (unsigned)sorted_copy[COUNT - 1], (unsigned)sorted_copy[COUNT / 2],
           (unsigned)mix(sorted_copy, COUNT));
    uint32_t* copy = malloc(sizeof numbers);
    uint32_t* scratch = malloc(sizeof numbers);
    memcpy(copy, numbers, sizeof numbers);
    insertion_sort(copy, COUNT);
    printf("insertion sort agrees: %s\n", memcmp(copy, sorted_copy, sizeof numbers) ? "no" : "yes");
    memcpy(copy, numbers, sizeof numbers);
    merge_sort(copy, scratch, COUNT);
    printf("merge sort agrees: %s\n", memcmp(copy, sorted_copy, sizeof numbers) ? "no" : "yes");
    free(scratch);
    free(copy);
    for (int i = 0; i < COUNT; i++) signed_numbers[i] = (int32_t)(numbers[i] >> 7) - (1 << 24);
    qsort(signed_numbers, COUNT, sizeof signed_numbers[0], compare_i32_descending);
    printf("signed descending: first %d last %d\n", (int)signed_numbers[0],
           (int)signed_numbers[COUNT - 1]);
}

/* --- CRC-32 ---------------------------------------------------------------- */

static uint32_t crc_table[256];

static void crc_init(void) {
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crc_table[n] = c;
    }
}

static uint32_t crc32(const unsigned char* data, size_t length) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; i++) c = crc_table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

static void checksums(void) {
    crc_init();
    const char* check = "123456789";
    printf("crc32(\"%s\") = %08x\n", check, (unsigned)crc32((const unsigned char*)check, 9));
    const char* fox = "The quick brown fox jumps over the lazy dog";
    printf("crc32(fox) = %08x\n", (unsigned)crc32((const unsigned char*)fox, strlen(fox)));
    printf("crc32(numbers) = %08x\n", (unsigned)crc32((const unsigned char*)numbers, sizeof numbers));
}

/* --- 64-bit arithmetic --------------------------------------------------------- */

static char* format_u64(char* out, uint64_t value) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = (char)('0' + (int)(value % 10));
        value /= 10;
    } while (value);
    char* p = out;
    while (n) *p++ = digits[--n];
    *p = 0;
    return out;
}

static char* format_i64(char* out, int64_t value) {
    if (value < 0) {
        out[0] = '-';
        format_u64(out + 1, 0 - (uint64_t)value);
        return out;
    }
    return format_u64(out, (uint64_t)value);
}

static void wide_arithmetic(void) {
    char a[32], b[32], c[32], d[32];
    uint64_t x = 0xFFFFFFFFu;
    uint64_t product = x * x;
    printf("(2^32-1)^2 = %s = %08x %08x\n", format_u64(a, product), (unsigned)(product >> 32),
           (unsigned)product);
    uint64_t factorial = 1;
    for (uint32_t i = 2; i <= 20; i++) factorial *= i;
    printf("20! = %s\n", format_u64(a, factorial));
    uint64_t big = 0xFEDCBA9876543210ull;
    uint32_t divisors[] = {3, 10, 1000003u, 0xFFFFFFFFu};
    for (unsigned i = 0; i < sizeof divisors / sizeof divisors[0]; i++)
        printf("%s / %u = %s rem %s\n", format_u64(a, big), (unsigned)divisors[i],
               format_u64(b, big / divisors[i]), format_u64(c, big % divisors[i]));
    uint64_t d64 = 0x123456789ull;
    printf("big / 0x123456789 = %s rem %s\n", format_u64(a, big / d64), format_u64(b, big % d64));
    int64_t s = -9223372036854775807ll + 12345;
    int64_t sd[] = {7, -7, 1000000007ll, -4294967296ll};
    for (unsigned i = 0; i < sizeof sd / sizeof sd[0]; i++)
        printf("%s / %s = %s rem %s\n", format_i64(a, s), format_i64(b, sd[i]), format_i64(c, s / sd[i]),
               format_i64(d, s % sd[i]));
    int64_t m = (int64_t)(int32_t)0x80000000 * 3;
    printf("signed wide product %s, shifted %s\n", format_i64(a, m), format_i64(b, m >> 3));
    uint32_t u = 0xDEADBEEFu;
    printf("32-bit: %u / 7 = %u rem %u; %d / 7 = %d rem %d\n", (unsigned)u, (unsigned)(u / 7),
           (unsigned)(u % 7), (int)(int32_t)u, (int)((int32_t)u / 7), (int)((int32_t)u % 7));
}

/* --- strings and memory ---------------------------------------------------------- */

static void strings(void) {
    char buffer[96];
    strcpy(buffer, "emulated");
    strcat(buffer, " processor");
    printf("%s (%u)\n", buffer, (unsigned)strlen(buffer));
    printf("strcmp: %d %d %d\n", strcmp("abc", "abd") < 0, strcmp("b", "a") > 0, strcmp("same", "same"));
    printf("strchr: %s; strrchr: %s\n", strchr(buffer, 'p'), strrchr(buffer, 'e'));
    printf("strstr: %s\n", strstr(buffer, "ted"));
    memmove(buffer + 4, buffer, 12); /* overlapping, forwards */
    buffer[16] = 0;
    printf("memmove up: %s\n", buffer);
    memmove(buffer, buffer + 3, 10); /* overlapping, backwards */
    buffer[10] = 0;
    printf("memmove down: %s\n", buffer);
    memset(buffer, '*', 20);
    buffer[20] = 0;
    printf("memset: %s\n", buffer);
    int n = snprintf(buffer, sizeof buffer, "[%5d|%-5d|%05x|%c%c]", 42, -7, 0xBEEFu, 'o', 'k');
    printf("snprintf %d: %s\n", n, buffer);
    unsigned char bytes[64];
    for (int i = 0; i < 64; i++) bytes[i] = (unsigned char)(i * 37 + 11);
    memcpy(bytes + 1, bytes + 21, 19); /* unaligned, odd length */
    printf("memcpy checksum %08x\n", (unsigned)crc32(bytes, sizeof bytes));
    printf("atoi %d, strtoul %u\n", atoi("-12345"), (unsigned)strtoul("ffff1234", NULL, 16));
}

/* --- a bytecode interpreter ------------------------------------------------------ */

enum { OP_PUSH, OP_ADD, OP_SUB, OP_MUL, OP_DUP, OP_SWAP, OP_OVER, OP_JNZ, OP_DROP, OP_DEC, OP_PRINT, OP_HALT };

static int32_t interpret(const int32_t* code) {
    int32_t stack[32];
    int sp = 0, pc = 0;
    for (;;) {
        int32_t op = code[pc++];
        switch (op) {
            case OP_PUSH: stack[sp++] = code[pc++]; break;
            case OP_ADD: sp--; stack[sp - 1] += stack[sp]; break;
            case OP_SUB: sp--; stack[sp - 1] -= stack[sp]; break;
            case OP_MUL: sp--; stack[sp - 1] = (int32_t)((uint32_t)stack[sp - 1] * (uint32_t)stack[sp]); break;
            case OP_DUP: stack[sp] = stack[sp - 1]; sp++; break;
            case OP_SWAP: { int32_t t = stack[sp - 1]; stack[sp - 1] = stack[sp - 2]; stack[sp - 2] = t; break; }
            case OP_OVER: stack[sp] = stack[sp - 2]; sp++; break;
            case OP_JNZ: { int32_t target = code[pc++]; if (stack[--sp]) pc = target; break; }
            case OP_DROP: sp--; break;
            case OP_DEC: stack[sp - 1]--; break;
            case OP_PRINT: printf("  vm: %d\n", (int)stack[sp - 1]); break;
            case OP_HALT: return stack[sp - 1];
            default: printf("  vm: bad opcode %d\n", (int)op); return -1;
        }
    }
}

static void virtual_machine(void) {
    /* acc = 1; n = 12; do { acc *= n; n--; } while (n); */
    static const int32_t factorial[] = {
        OP_PUSH, 1, OP_PUSH, 12,                   /* acc n */
        OP_DUP, OP_PRINT, OP_DROP,                 /* 4 */
        OP_SWAP, OP_OVER, OP_MUL, OP_SWAP,         /* 7: acc*n n */
        OP_DEC, OP_DUP, OP_JNZ, 7,                 /* 11 */
        OP_DROP, OP_HALT};
    printf("vm factorial: %d\n", (int)interpret(factorial));
    /* Shuffles a pair 40 times while counting down. */
    static const int32_t countdown[] = {
        OP_PUSH, 0, OP_PUSH, 1, OP_PUSH, 40,       /* a b n */
        OP_SWAP, OP_OVER,                          /* 6 */
        OP_DROP, OP_SWAP,                          /* keep a b n order */
        OP_DEC, OP_DUP, OP_JNZ, 6, OP_DROP, OP_HALT};
    printf("vm countdown: %d\n", (int)interpret(countdown));
    uint32_t a = 0, b = 1;
    for (int i = 0; i < 47; i++) {
        uint32_t t = a + b;
        a = b;
        b = t;
    }
    printf("fib(47) = %u\n", (unsigned)a);
}

/* --- variadic functions ----------------------------------------------------------- */

static int32_t sum_ints(int count, ...) {
    va_list args;
    va_start(args, count);
    int32_t total = 0;
    for (int i = 0; i < count; i++) total += va_arg(args, int32_t);
    va_end(args);
    return total;
}

static uint64_t sum_wide(int count, ...) {
    va_list args;
    va_start(args, count);
    uint64_t total = 0;
    for (int i = 0; i < count; i++) total += va_arg(args, uint64_t);
    va_end(args);
    return total;
}

/* A tiny formatter: %d, %x, %s and %% only. */
static void say(const char* format, ...) {
    char out[128];
    int n = 0;
    va_list args;
    va_start(args, format);
    for (const char* p = format; *p && n < 100; p++) {
        if (*p != '%') {
            out[n++] = *p;
            continue;
        }
        char digits[16];
        int k = 0;
        switch (*++p) {
            case 'd': {
                int32_t v = va_arg(args, int32_t);
                uint32_t u = v < 0 ? 0u - (uint32_t)v : (uint32_t)v;
                if (v < 0) out[n++] = '-';
                do { digits[k++] = (char)('0' + (int)(u % 10)); u /= 10; } while (u);
                while (k) out[n++] = digits[--k];
                break;
            }
            case 'x': {
                uint32_t u = va_arg(args, uint32_t);
                do { digits[k++] = "0123456789abcdef"[u & 15]; u >>= 4; } while (u);
                while (k) out[n++] = digits[--k];
                break;
            }
            case 's':
                for (const char* s = va_arg(args, const char*); *s && n < 100; s++) out[n++] = *s;
                break;
            default: out[n++] = *p; break;
        }
    }
    va_end(args);
    out[n] = 0;
    puts(out);
}

static void variadics(void) {
    char a[32];
    printf("sum_ints: %d %d\n", (int)sum_ints(3, 1, 2, 3), (int)sum_ints(6, -1, -2, 100, 200, 7, -1000));
    printf("sum_wide: %s\n", format_u64(a, sum_wide(3, 0x100000000ull, 0xFFFFFFFFull, (uint64_t)1 << 62)));
    say("say: %d %x %s 100%%", (int32_t)-2147483647 - 1, (uint32_t)0xC0FFEE, "done");
}

/* --- an expression parser and a state machine ------------------------------------- */

static const char* cursor;

static int32_t parse_expression(void);

static int32_t parse_primary(void) {
    while (*cursor == ' ') cursor++;
    if (*cursor == '(') {
        cursor++;
        int32_t v = parse_expression();
        if (*cursor == ')') cursor++;
        return v;
    }
    if (*cursor == '-') {
        cursor++;
        return -parse_primary();
    }
    int32_t v = 0;
    while (*cursor >= '0' && *cursor <= '9') v = v * 10 + (*cursor++ - '0');
    return v;
}

static int32_t parse_term(void) {
    int32_t v = parse_primary();
    for (;;) {
        while (*cursor == ' ') cursor++;
        char op = *cursor;
        if (op != '*' && op != '/' && op != '%') return v;
        cursor++;
        int32_t r = parse_primary();
        if (op == '*') v *= r;
        else if (r == 0) v = 0;
        else if (op == '/') v /= r;
        else v %= r;
    }
}

static int32_t parse_expression(void) {
    int32_t v = parse_term();
    for (;;) {
        while (*cursor == ' ') cursor++;
        if (*cursor == '+') { cursor++; v += parse_term(); }
        else if (*cursor == '-') { cursor++; v -= parse_term(); }
        else return v;
    }
}

/* Counts words, numbers and punctuation with an explicit state machine. */
enum State { BETWEEN, IN_WORD, IN_NUMBER };

static void scan(const char* text, int* words, int* numbers_seen, int* marks) {
    enum State state = BETWEEN;
    *words = *numbers_seen = *marks = 0;
    for (const unsigned char* p = (const unsigned char*)text;; p++) {
        int c = *p;
        int letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        int digit = c >= '0' && c <= '9';
        switch (state) {
            case BETWEEN:
                if (letter) { state = IN_WORD; (*words)++; }
                else if (digit) { state = IN_NUMBER; (*numbers_seen)++; }
                else if (c == ',' || c == '.' || c == '!' || c == '?') (*marks)++;
                break;
            case IN_WORD:
                if (!letter && !digit) {
                    state = BETWEEN;
                    if (c == ',' || c == '.' || c == '!' || c == '?') (*marks)++;
                }
                break;
            case IN_NUMBER:
                if (letter) { state = IN_WORD; (*words)++; }
                else if (!digit) {
                    state = BETWEEN;
                    if (c == ',' || c == '.' || c == '!' || c == '?') (*marks)++;
                }
                break;
        }
        if (!c) break;
    }
}

static void parsing(void) {
    static const char* expressions[] = {"1 + 2 * 3", "(1 + 2) * 3", "100 / 7 % 4 - -5",
                                        "2 * (3 + 4) * (5 - 9) / 3", "-(12 % 5) * 1000000"};
    for (unsigned i = 0; i < sizeof expressions / sizeof expressions[0]; i++) {
        cursor = expressions[i];
        printf("%s = %d\n", expressions[i], (int)parse_expression());
    }
    int w, n, m;
    scan("In 1998, 3 of 4 testers said: it runs! Does it? Yes, 100 times.", &w, &n, &m);
    printf("scan: %d words, %d numbers, %d marks\n", w, n, m);
}

/* --- bits and a table of procedures ---------------------------------------------- */

static uint32_t rotate_left(uint32_t v, uint32_t n) { return (v << (n & 31)) | (v >> ((32 - n) & 31)); }
static uint32_t reverse_bits(uint32_t v) {
    uint32_t r = 0;
    for (int i = 0; i < 32; i++, v >>= 1) r = (r << 1) | (v & 1);
    return r;
}
static uint32_t count_ones(uint32_t v) {
    uint32_t n = 0;
    while (v) { v &= v - 1; n++; }
    return n;
}
static uint32_t leading_zeros(uint32_t v) { return v ? (uint32_t)__builtin_clz(v) : 32; }

typedef uint32_t (*Unary)(uint32_t);
static uint32_t rotate_by_5(uint32_t v) { return rotate_left(v, 5); }

static void bits(void) {
    static const Unary table[] = {reverse_bits, count_ones, leading_zeros, rotate_by_5};
    static const char* names[] = {"reverse", "ones", "clz", "rol5"};
    uint32_t inputs[] = {1, 0x80000000u, 0x12345678u, 0xF0F00F0Fu, 0x00010000u};
    for (unsigned t = 0; t < 4; t++) {
        printf("%-8s", names[t]);
        for (unsigned i = 0; i < 5; i++) printf(" %08x", (unsigned)table[t](inputs[i]));
        printf("\n");
    }
    int32_t negative = -1000;
    printf("shifts: %d %d %u\n", (int)(negative >> 3), (int)(negative / 8), (unsigned)((uint32_t)negative >> 28));
}

int main(void) {
    printf("workload\n");
    sorting();
    checksums();
    wide_arithmetic();
    strings();
    virtual_machine();
    variadics();
    parsing();
    bits();
    printf("end\n");
    return 0;
}
