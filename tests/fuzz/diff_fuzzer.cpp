// Differential fuzzer: the input is a start state and an instruction stream.
// The stream is placed in memory and run twice from the same state: first
// block by block under dynarec_step (ARM and Thumb blocks alike), then on
// the interpreter for the same number of instructions. After every block the
// whole processor state must agree, and at the end every memory array.
// Then chained: the run loop from the same start under random budgets and
// extras (as the frame loop gives them) and a random count of meetings
// before a block start is translated, once with the recompiler chosen and
// once with the interpreter; steps and state must agree after every budget,
// and memory at the end.
//
// Input layout:
//   byte 0       bit 0: start in Thumb state; bits 1-2: where the stream
//                lies (internal RAM, work RAM, video RAM, cartridge); bits
//                3-4: where in that region (its start, 0x100 in, 128 or 16
//                bytes before the end of the array); bits 5-7: the mode
//   byte 1       bits 4-7: N, Z, C, V; bits 0-3: the mode index of the
//                "any mode" choice (mode choice 7)
//   bytes 2-61   r0-r14
//   bytes 62-65  SPSR
//   the rest     the stream, at most 4 KB
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cpu/cpu.h"
#include "dynarec/dynarec.h"
#include "memory/memory.h"
#include "shell/keys.h"
#include "shell/main_loop.h"
#include "tests/unit/processor_state.h"

#if defined(__x86_64__) || defined(__i386__)

namespace {

// Everything must agree, unpredictable forms included: both methods run
// the same handlers, so they give the same result. A block that stores into
// one of its own later instructions ends after the store, so the new word
// runs next under both methods.

constexpr size_t HEADER_BYTES = 66;
constexpr size_t MAX_STREAM_BYTES = 4096;
constexpr int MAX_STEPS = 128;  // dynarec_step calls
constexpr uint32_t MAX_INSTRUCTIONS = 1024;

const uint32_t MODES[8] = {0x10, 0x1F, 0x13, 0x12, 0x11, 0x17, 0x1B, 0};

struct Placement {
    uint32_t base, size;
};
const Placement PLACES[4] = {
    {0x03000000, IRAM_SIZE},
    {0x02000000, WRAM_SIZE},
    {0x06000000, VRAM_SIZE},
    {0x08000000, uint32_t(ROM_MIN_SIZE)},
};

// Every array the processor can write, with its contents before any input.
struct Array {
    uint8_t* data;
    size_t size;
    uint8_t* pristine;
    uint8_t* after_first_run;
};
Array arrays[] = {
    {bios_mem, BIOS_SIZE, nullptr, nullptr},
    {wram, WRAM_SIZE, nullptr, nullptr},
    {iram, IRAM_SIZE, nullptr, nullptr},
    {io_regs, IO_SIZE, nullptr, nullptr},
    {pram, PRAM_SIZE, nullptr, nullptr},
    {vram, VRAM_SIZE, nullptr, nullptr},
    {oam, OAM_SIZE, nullptr, nullptr},
    {cart_ram, CART_RAM_SIZE, nullptr, nullptr},
    {reinterpret_cast<uint8_t*>(host_palette), sizeof host_palette, nullptr, nullptr},
    {nullptr, ROM_MIN_SIZE, nullptr, nullptr},  // rom, once installed
};
const char* const ARRAY_NAMES[] = {"bios_mem", "wram", "iram",     "io_regs",      "pram",
                                   "vram",     "oam",  "cart_ram", "host_palette", "rom"};

struct Step {
    ProcessorState after;
    uint32_t start;  // address of the first instruction
    uint32_t instructions, cycles;
    bool thumb;
};
Step steps[MAX_STEPS];

// What the runs compared, said when the fuzzer stops: emulated
// instructions block by block and chained, and the blocks translated.
uint64_t compared_block_by_block = 0, compared_chained = 0;

uint32_t word_at(const uint8_t* data, size_t offset) {
    uint32_t value;
    std::memcpy(&value, data + offset, 4);
    return value;
}

// Fills memory with a fixed pattern, so that loads find varied values, and
// installs a cartridge buffer of the smallest size.
void start_console() {
    console_startup();
    install_rom(new uint8_t[ROM_MIN_SIZE](), ROM_MIN_SIZE);
    build_region_base();
    arrays[9].data = rom;
    uint32_t x = 0x9E3779B9;
    auto next = [&x] {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        return x;
    };
    for (uint32_t a = 0; a < WRAM_SIZE; a += 4) mem_write32(0x02000000 + a, next());
    for (uint32_t a = 0; a < IRAM_SIZE; a += 4) mem_write32(0x03000000 + a, next());
    for (uint32_t a = 0; a < PRAM_SIZE; a += 4) mem_write32(0x05000000 + a, next());
    for (uint32_t a = 0; a < VRAM_SIZE; a += 4) mem_write32(0x06000000 + a, next());
    for (uint32_t a = 0; a < OAM_SIZE; a += 4) mem_write32(0x07000000 + a, next());
    for (uint32_t a = 0; a < ROM_MIN_SIZE; a += 4) mem_write32(0x08000000 + a, next());
    for (Array& array : arrays) {
        array.pristine = new uint8_t[array.size];
        array.after_first_run = new uint8_t[array.size];
        std::memcpy(array.pristine, array.data, array.size);
    }
}

// The start state of both runs: memory as it was before any input, the
// stream written through the bus, the registers of the header, nothing
// translated.
void set_up(const uint8_t* data, size_t size, Method method) {
    for (Array& array : arrays) std::memcpy(array.data, array.pristine, array.size);
    dma3_source = dma3_dest = 0;
    dma3_count = dma3_control = 0;
    key_state = 0xFFFF;

    uint8_t control = data[0], flags = data[1];
    const Placement& place = PLACES[(control >> 1) & 3];
    const uint32_t offsets[4] = {0, 0x100, place.size - 0x80, place.size - 0x10};
    uint32_t start = place.base + offsets[(control >> 3) & 3];
    for (size_t i = HEADER_BYTES; i < size; i++)
        mem_write8(start + uint32_t(i - HEADER_BYTES), data[i]);

    cpu_reset();
    RegisterSet* banks[] = {&bank_usr, &bank_fiq, &bank_irq, &bank_svc, &bank_abt, &bank_und};
    for (int b = 0; b < 6; b++) {
        for (int r = 0; r < 15; r++)
            banks[b]->regs[r] = word_at(data, 2 + 4 * r) ^ (0x01010101u * b);
        banks[b]->regs[15] = 0;
        banks[b]->cpsr = 0;
        banks[b]->spsr = word_at(data, 62) ^ (0x10001u * b);
    }
    // From User mode with every live register given, so that nothing of the
    // previous input reaches a bank through the mode switch.
    for (int r = 0; r < 15; r++) cpu_regs[r] = word_at(data, 2 + 4 * r);
    cpu_spsr = bank_usr.spsr;
    cpu_cpsr = 0x10;
    uint32_t mode = MODES[control >> 5];
    if (mode == 0) mode = 0x10 | (flags & 15);
    cpu_set_mode(mode);
    for (int r = 0; r < 15; r++) cpu_regs[r] = word_at(data, 2 + 4 * r);
    cpu_spsr = word_at(data, 62);
    flag_n = (flags >> 7) & 1, flag_z = (flags >> 6) & 1;
    flag_c = (flags >> 5) & 1, flag_v = (flags >> 4) & 1;

    dynarec_flush();
    cpu_regs[15] = start;
    cpu_method = method;
    if (control & 1) {
        cpu_cpsr |= CPSR_T;
        thumb_refill();
    } else {
        arm_refill();
    }
}

[[noreturn]] void report(const char* what, int index, const std::string& detail) {
    const Step& step = steps[index];
    std::fprintf(stderr,
                 "diff_fuzzer: %s after step %d (%s block at 0x%08x, %u instructions):", what,
                 index, step.thumb ? "Thumb" : "ARM", step.start, step.instructions);
    for (uint32_t i = 0; i < step.instructions; i++) {
        if (step.thumb)
            std::fprintf(stderr, " %04x", fetch_halfword(step.start + 2 * i));
        else
            std::fprintf(stderr, " %08x", fetch_word(step.start + 4 * i));
    }
    std::fprintf(stderr, "\n  recompiler/interpreter:%s\n", detail.c_str());
    std::abort();
}

// The first run, under the recompiler: at most MAX_STEPS steps and about
// MAX_INSTRUCTIONS instructions. Returns the number of steps recorded.
int run_recompiler() {
    uint32_t instructions = 0;
    int i = 0;
    for (; i < MAX_STEPS && instructions < MAX_INSTRUCTIONS; i++) {
        Step& step = steps[i];
        step.thumb = in_thumb_state();
        step.start = cpu_regs[15] - (step.thumb ? 4 : 8);
        uint32_t result = dynarec_step();
        step.cycles = result & 0xFFFF;
        step.instructions = result >> 16;
        if (step.cycles == 0) report("a step used no cycles", i, "");
        step.after = ProcessorState::capture();
        instructions += step.instructions;
    }
    return i;
}

// Budgets from a generator seeded by the input, so that a finding repeats.
struct Budget {
    uint32_t cycles, extra;
};
constexpr int CHAINED_RUNS = 24;

// Also how many meetings make the run loop translate a block start: at
// the first (most translated code to compare), the second, or its own
// counts (which few of these short runs reach, but which run the code
// before the count on the interpreter's stretches).
uint32_t chained_budgets(const uint8_t* data, size_t size, Budget (&budgets)[CHAINED_RUNS]) {
    uint32_t x = 2166136261u;
    for (size_t i = 0; i < size; i++) x = (x ^ data[i]) * 16777619u;
    for (Budget& budget : budgets) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        budget.cycles = 1 + x % 160;
        budget.extra = (x >> 16) % 3 ? 0 : 2;
    }
    const uint32_t translate_after[4] = {1, 1, 2, 0};
    return translate_after[x >> 30];
}

struct ChainedStep {
    ProcessorState after;
    uint64_t steps;
};
ChainedStep chained[CHAINED_RUNS];

void compare_memory(int index, void (*report_difference)(int, const std::string&)) {
    for (size_t a = 0; a < sizeof arrays / sizeof arrays[0]; a++) {
        const Array& array = arrays[a];
        if (!std::memcmp(array.after_first_run, array.data, array.size)) continue;
        size_t o = 0;
        while (array.after_first_run[o] == array.data[o]) o++;
        char detail[96];
        std::snprintf(detail, sizeof detail, " %s[0x%zx] %02x/%02x", ARRAY_NAMES[a], o,
                      array.after_first_run[o], array.data[o]);
        report_difference(index, detail);
    }
}

[[noreturn]] void report_chained(int run, const std::string& detail) {
    std::fprintf(stderr, "diff_fuzzer: chained runs differ after budget %d\n", run);
    std::fprintf(stderr, "  recompiler/interpreter:%s\n", detail.c_str());
    std::abort();
}

void run_chained(const uint8_t* data, size_t size) {
    Budget budgets[CHAINED_RUNS];
    dynarec_translate_after(chained_budgets(data, size, budgets));
    set_up(data, size, Method::Dynarec);
    for (int i = 0; i < CHAINED_RUNS; i++) {
        uint64_t before = steps_taken;
        cpu_run(budgets[i].cycles, budgets[i].extra);
        chained[i] = {ProcessorState::capture(), steps_taken - before};
    }
    for (Array& array : arrays) std::memcpy(array.after_first_run, array.data, array.size);

    set_up(data, size, Method::Interpretative);
    for (int i = 0; i < CHAINED_RUNS; i++) {
        uint64_t before = steps_taken;
        cpu_run(budgets[i].cycles, budgets[i].extra);
        std::string diff = chained[i].after.differences(ProcessorState::capture());
        uint64_t steps = steps_taken - before;
        if (steps != chained[i].steps)
            diff += " steps " + std::to_string(chained[i].steps) + "/" + std::to_string(steps);
        if (!diff.empty()) report_chained(i, diff);
        compared_chained += steps;
    }
    compare_memory(CHAINED_RUNS - 1,
                   [](int run, const std::string& detail) { report_chained(run, detail); });
}

void say_what_was_compared() {
    std::fprintf(stderr,
                 "diff_fuzzer: compared %llu instructions block by block, %llu chained; "
                 "%llu blocks translated\n",
                 (unsigned long long)compared_block_by_block, (unsigned long long)compared_chained,
                 (unsigned long long)blocks_translated);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        start_console();
        std::atexit(say_what_was_compared);
        started = true;
    }
    if (size < HEADER_BYTES || size > HEADER_BYTES + MAX_STREAM_BYTES) return 0;

    set_up(data, size, Method::Dynarec);
    int recorded = run_recompiler();
    for (Array& array : arrays) std::memcpy(array.after_first_run, array.data, array.size);
    const uint32_t dma_after[4] = {dma3_source, dma3_dest, dma3_count, dma3_control};

    // The interpreter's run, step for step.
    set_up(data, size, Method::Interpretative);
    for (int i = 0; i < recorded; i++) {
        const Step& step = steps[i];
        uint32_t cycles = 0;
        for (uint32_t k = 0; k < step.instructions; k++) cycles += cpu_step() & 0xFFFF;
        std::string diff = step.after.differences(ProcessorState::capture());
        if (cycles != step.cycles)
            diff += " cycles " + std::to_string(step.cycles) + "/" + std::to_string(cycles);
        if (!diff.empty()) report("processor state differs", i, diff);
        compared_block_by_block += step.instructions;
    }
    static int last_step;
    last_step = recorded - 1;
    compare_memory(last_step, [](int, const std::string& detail) {
        report("memory differs", last_step, detail);
    });
    const uint32_t dma_now[4] = {dma3_source, dma3_dest, dma3_count, dma3_control};
    if (std::memcmp(dma_after, dma_now, sizeof dma_now)) report("DMA3 differs", recorded - 1, "");

    run_chained(data, size);
    return 0;
}

#else

extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }

#endif
