// The recompiler's loads and stores against the interpreter's: every
// transfer form at every region and mirror boundary, aligned and not, with
// the ignored address bits 28-31 set; stores through mirrors into translated
// code; IO, palette and DMA written from translated code; ARM registers held
// in host registers across handler calls and slow paths.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"
#include "processor_state.h"

#if defined(__x86_64__) || defined(__i386__)

namespace {

constexpr uint32_t ROM = 0x08000000;
constexpr uint32_t END_LOOP = 0xEAFFFFFE;  // B .

// An image of exactly `size` bytes: `words` at its start, then a pattern,
// so that its last word and the word past its end read differently.
void load_sized_image(const std::vector<uint32_t>& words, uint32_t size) {
    uint8_t* image = new uint8_t[size];
    for (uint32_t i = 0; i < size; i++) image[i] = uint8_t(i * 7 + 3);
    std::memcpy(image, words.data(), words.size() * 4);
    install_rom(image, size);
    build_region_base();
    console_reset();
}

// Memory as a program sees it around `address`: the words from 8 bytes
// below to 12 above, read through the bus (reads have no side effects).
std::string memory_around(uint32_t address) {
    std::ostringstream out;
    out << std::hex;
    for (uint32_t a = (address & ~3u) - 8; a != (address & ~3u) + 16; a += 4)
        out << mem_read32(a) << ' ';
    return out.str();
}

struct Outcome {
    ProcessorState cpu;
    std::string memory;
};

class TransferTest : public ConsoleTest {
   protected:
    // Runs `words` (then B .) from the start of an image of `image_size`
    // bytes, with r1 = address, under one method for `steps` instructions.
    Outcome run(const std::vector<uint32_t>& words, uint32_t image_size, uint32_t address,
                Method method, uint32_t steps) {
        std::vector<uint32_t> code = words;
        code.push_back(END_LOOP);
        load_sized_image(code, image_size);
        std::memset(io_regs, 0, IO_SIZE);  // a load keeps the IO array: the other run wrote it
        // Something to load in every writable region around the address.
        for (uint32_t a = (address & ~3u) - 8; a != (address & ~3u) + 16; a += 4)
            if ((a >> 24 & 15) != 4) mem_write32(a, 0x80C0FFEE ^ (a * 0x9E3779B9u));
        uint32_t regs[15] = {0, address, 0x87654321, 3, 0x11, 0x22, 0x33, 0x44};
        for (int i = 0; i < 15; i++) cpu_regs[i] = regs[i];
        cpu_regs[13] = 0x03007F00;
        cpu_regs[15] = ROM;
        arm_refill();
        cpu_method = method;
        uint32_t done = 0;
        while (done < steps) {
            if (method == Method::Dynarec) {
                done += (dynarec_step() & 0xFFFF) / ARM_CYCLES;
            } else {
                arm_step();
                done++;
            }
        }
        return {ProcessorState::capture(), memory_around(address)};
    }

    std::string compare(const std::vector<uint32_t>& words, uint32_t image_size, uint32_t address) {
        uint32_t steps = uint32_t(words.size());
        Outcome interpreted = run(words, image_size, address, Method::Interpretative, steps);
        Outcome translated = run(words, image_size, address, Method::Dynarec, steps);
        std::string diff = translated.cpu.differences(interpreted.cpu);
        if (translated.memory != interpreted.memory)
            diff += "memory: " + translated.memory + "vs " + interpreted.memory;
        return diff;
    }
};

// clang-format off
const struct {
    const char* text;
    uint32_t word;
} transfer_forms[] = {
    {"LDR r0, [r1]",              0xE5910000}, {"LDRB r0, [r1]",             0xE5D10000},
    {"LDRH r0, [r1]",             0xE1D100B0}, {"LDRSB r0, [r1]",            0xE1D100D0},
    {"LDRSH r0, [r1]",            0xE1D100F0}, {"STR r2, [r1]",              0xE5812000},
    {"STRB r2, [r1]",             0xE5C12000}, {"STRH r2, [r1]",             0xE1C120B0},
    {"LDR r0, [r1, #4]!",         0xE5B10004}, {"LDR r0, [r1], #-4",         0xE4110004},
    {"STR r2, [r1, r3, LSL #2]!", 0xE7A12103}, {"LDR r0, [r1, -r3]",         0xE7110003},
    {"LDRH r0, [r1], r3",         0xE09100B3}, {"STRB r2, [r1], -r3, ROR #1", 0xE64120E3},
    {"LDMIA r1, {r0, r2, r4}",    0xE8910015}, {"STMDB r1!, {r2, r3}",       0xE921000C},
    {"LDMIB r1!, {r0, r2}",       0xE9B10005}, {"STMDA r1, {r2-r4}",         0xE801001C},
};
// clang-format on

// Where a fast page ends or a region shows something else.
const uint32_t boundaries[] = {
    0x00003FFC,                                      // the BIOS's last word
    0x02000000, 0x0203FFFC, 0x02040000, 0x02FFFFFC,  // work RAM and its mirrors
    0x03007FFC, 0x03008000, 0xF3000004,              // internal RAM, bits 28-31 set
    0x04000008, 0x04000130,                          // IO: a background, the buttons
    0x05000000, 0x060000FC,                          // palette, video RAM's start
    0x06017FFC, 0x06018000, 0x0601FFFC, 0x06020000,  // video RAM's fold and mirror
    0x07000000, 0x0E000000, 0x0F000000,              // OAM, cartridge RAM, nothing
    0x08001FFC, 0x08002000, 0x18001FFC,              // the image's last word, past it
};

TEST_F(TransferTest, EveryFormAtEveryBoundaryAlignedOrNot) {
    int compared = 0;
    for (const auto& form : transfer_forms) {
        for (uint32_t boundary : boundaries) {
            for (uint32_t misalign = 0; misalign < 4; misalign++) {
                std::string diff = compare({form.word}, 0x2000, boundary + misalign);
                ASSERT_EQ(diff, "") << form.text << " at " << std::hex << boundary + misalign;
                compared++;
            }
        }
    }
    EXPECT_EQ(compared, 18 * 22 * 4);
}

TEST_F(TransferTest, AnImageEndingInsideAPage) {
    for (const auto& form : transfer_forms)
        for (uint32_t address : {0x08001800u, 0x08001802u, 0x08001804u, 0x08000FFCu})
            EXPECT_EQ(compare({form.word}, 0x1804, address), "")
                << form.text << std::hex << address;
}

// Registers held in host registers must be in the record whenever C reads
// it, and taken again from it after: a handler that reads a just-computed
// register, a slow path (IO) between a write and a read, a mode change.
TEST_F(TransferTest, HeldRegistersMeetHandlersAndSlowPaths) {
    const struct {
        const char* text;
        std::vector<uint32_t> words;
    } cases[] = {
        {"STM^ of a just-computed register",
         {0xE2822001, 0xE2822001, 0xE5812000, 0xE8C10004, 0xE2822001}},
        // ADD r2, #1; ADD r2, #1; STR r2, [r1]; STMIA r1, {r2}^; ADD r2, #1
        {"SWP between uses", {0xE2833001, 0xE1012093, 0xE0822003, 0xE0833002}},
        // ADD r3, #1; SWP r2, r3, [r1]; ADD r2, r2, r3; ADD r3, r3, r2
        {"an IO read between uses",
         {0xE2822004, 0xE3A05301, 0xE5956130, 0xE0822006, 0xE5852008, 0xE0866002}},
        // ADD r2, #4; MOV r5, #0x04000000; LDR r6, [r5, #0x130]; ADD r2, r6;
        // STR r2, [r5, #8]; ADD r6, r2
        {"a mode change",
         {0xE28DD004, 0xE10F0000, 0xE3C0001F, 0xE3800013, 0xE129F000, 0xE28DD008, 0xE58D2000}},
        // ADD sp, #4; MRS r0, CPSR; BIC r0, #0x1F; ORR r0, #0x13 (SVC);
        // MSR CPSR_fc, r0; ADD sp, #8; STR r2, [sp]
    };
    for (const auto& c : cases) {
        for (uint32_t address : {0x03000100u, 0x04000008u, 0x02000001u})
            EXPECT_EQ(compare(c.words, 0x2000, address), "") << c.text << std::hex << address;
    }
}

// Code in internal RAM, translated; a block in the image then stores over
// it through a mirror (its own fast path must not reach it), and the code
// runs as newly written. Data beside the code stores without harm.
TEST_F(TransferTest, StoresThroughMirrorsIntoTranslatedCode) {
    const struct {
        const char* text;
        uint32_t store;  // r2 = the mirror address, r3 = the new word
    } stores[] = {
        {"STR", 0xE5823000},
        {"STRH", 0xE1C230B0},
        {"STRB", 0xE5C23000},
        {"STMIA", 0xE8820008},
    };
    for (const auto& s : stores) {
        SCOPED_TRACE(s.text);
        for (uint32_t mirror : {0x03000200u, 0x03FF8200u, 0xF3008200u}) {
            load_test_image({s.store, 0xE12FFF14});  // <store>; BX r4
            mem_write32(0x03000200, 0xE3A00001);     // MOV r0, #1
            mem_write32(0x03000204, 0xE12FFF1E);     // BX lr
            cpu_method = Method::Dynarec;
            cpu_regs[14] = ROM + 0x100;
            cpu_regs[15] = 0x03000200;
            arm_refill();
            dynarec_step();
            ASSERT_EQ(cpu_regs[0], 1u);
            cpu_regs[2] = mirror;
            cpu_regs[3] = 0xE3A00002;  // MOV r0, #2 (its low half and byte too)
            cpu_regs[4] = 0x03000200;
            cpu_regs[15] = ROM;
            arm_refill();
            while (cpu_regs[15] != ROM + 0x108) dynarec_step();
            EXPECT_EQ(cpu_regs[0], 2u) << std::hex << mirror;
        }
    }
}

// IO, palette and DMA stores made by translated code take effect.
TEST_F(TransferTest, IoPaletteAndDmaStoresFromTranslatedCode) {
    load_test_image({
        0xE3A05301,         // MOV r5, #0x04000000
        0xE3A06415,         // MOV r6, #0x15000000: the palette, bits 28-31 set
        0xE59F0018,         // LDR r0, =0x03000000 (the DMA's source)
        0xE5850000 | 0xD4,  // STR r0, [r5, #0xD4]
        0xE59F0014,         // LDR r0, =0x02000000 (destination)
        0xE5850000 | 0xD8,  // STR r0, [r5, #0xD8]
        0xE59F0010,         // LDR r0, =0x80000004 (four halfwords, enabled)
        0xE5850000 | 0xDC,  // STR r0, [r5, #0xDC]
        0xE1C610B2,         // STRH r1, [r6, #2]
        END_LOOP,
        0x03000000,
        0x02000000,
        0x80000004,
    });
    for (uint32_t i = 0; i < 4; i++) mem_write16(0x03000000 + 2 * i, uint16_t(0x1111 * (i + 1)));
    cpu_method = Method::Dynarec;
    cpu_regs[1] = 0x001F;  // red
    cpu_regs[15] = ROM;
    arm_refill();
    while (cpu_regs[15] != ROM + 9 * 4 + 8) dynarec_step();
    EXPECT_EQ(mem_read32(0x02000000), 0x22221111u);
    EXPECT_EQ(mem_read32(0x02000004), 0x44443333u);
    EXPECT_EQ(host_palette[1], to_host_colour(0x001F));
}

}  // namespace

#endif
