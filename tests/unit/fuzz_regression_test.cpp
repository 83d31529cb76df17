// Inputs that once crashed the console or made the two methods disagree,
// each reduced to the few bus operations or instructions that matter.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console_fixture.h"
#include "dynarec/dynarec.h"
#include "processor_state.h"

namespace {

class FuzzRegressionTest : public ConsoleTest {
   protected:
    // Runs the loaded program for `steps` steps under dynarec_step, then
    // from the same state (cartridge, internal RAM) on the interpreter for
    // as many instructions; everything must agree after every step.
    void expect_methods_agree(int steps) {
        ProcessorState start = ProcessorState::capture();
        std::vector<uint8_t> image(rom, rom + rom_size), ram(iram, iram + IRAM_SIZE);
        std::vector<ProcessorState> after;
        std::vector<uint32_t> lengths;
        cpu_method = Method::Dynarec;
        for (int i = 0; i < steps; i++) {
            bool thumb = in_thumb_state();  // a Thumb step is one instruction
            uint32_t cycles = cpu_step() & 0xFFFF;
            lengths.push_back(thumb ? 1 : cycles / ARM_CYCLES);
            after.push_back(ProcessorState::capture());
        }
        std::vector<uint8_t> image_after(rom, rom + rom_size), ram_after(iram, iram + IRAM_SIZE);
        start.restore(Method::Interpretative);
        std::copy(image.begin(), image.end(), rom);
        std::copy(ram.begin(), ram.end(), iram);
        dynarec_flush();
        for (int i = 0; i < steps; i++) {
            for (uint32_t k = 0; k < lengths[i]; k++) cpu_step();
            EXPECT_EQ(after[i].differences(ProcessorState::capture()), "") << "step " << i;
        }
        EXPECT_TRUE(std::equal(image_after.begin(), image_after.end(), rom));
        EXPECT_TRUE(std::equal(ram_after.begin(), ram_after.end(), iram));
    }
};

// STRB with writeback into r15 moves r15 past the next word: the
// interpreter goes on from there, and so must the recompiler, instead of
// running the rest of a block made for the words that follow in memory.
TEST_F(FuzzRegressionTest, StoreWithWritebackIntoPcEndsTheBlock) {
    load_test_image({
        0xE5EF8004,  // STRB r8, [pc, #4]!   stores at +12, r15 = +12, next runs +8
        0xE3A00001,  // MOV r0, #1           skipped
        0xE3A01002,  // MOV r1, #2
        0xE3A02003,  // MOV r2, #3           its low byte becomes r8's: MOV r2, #0
        0xEAFFFFFE,  // B .
    });
    cpu_regs[8] = 0;
    expect_methods_agree(4);
    EXPECT_EQ(cpu_regs[0], 0u);
    EXPECT_EQ(cpu_regs[1], 2u);
    EXPECT_EQ(cpu_regs[2], 0u);
    EXPECT_EQ(cpu_regs[15], 0x08000010u + 8);
}

// A copy whose destination is DMA3's own count register writes a new count
// and control while it runs. That write must not start a copy inside the
// copy: with a source that always supplies a count, each copy would start
// the next and the host's stack would overflow. The console has one channel;
// the registers take the values, the running copy goes on to its end.
TEST_F(FuzzRegressionTest, CopyIntoDma3CountDoesNotStartANestedCopy) {
    mem_write32(0x02000000, 0x00000001);  // count 1, control 0: one halfword
    mem_write32(0x02000004, 0x00000001);
    mem_write32(0x040000D4, 0x02000000);  // source
    mem_write32(0x040000D8, 0x040000DC);  // destination: count and control
    mem_write32(0x040000DC, 0x00000002);  // two halfwords, started now
    // The two halfwords copied: 0x0001 into the count, 0x0000 into control.
    EXPECT_EQ(dma3_count, 1u);
    EXPECT_EQ(dma3_control, 0u);
    EXPECT_EQ(io_read16(0xDC), 1u);
    EXPECT_EQ(io_read16(0xDE), 0u);
}

// A jump to 0xFFFFFFF9 in ARM state leaves r15 = 1 after the fetch (the
// write of r15 keeps its low bits; the fetch reads from 0xFFFFFFF8). The
// recompiler's indirect table marks its empty entries with a pc of 1, and
// once took such an r15 for a hit whose code was at address 0.
TEST_F(FuzzRegressionTest, AnR15EqualToAnEmptyIndirectEntryMisses) {
    std::vector<ProcessorState> ends;
    for (Method method : {Method::Interpretative, Method::Dynarec}) {
        load_test_image({0xE1A0F000});  // MOV pc, r0
        cpu_regs[0] = 0xFFFFFFF9;
        cpu_method = method;
        for (int line = 0; line < 4; line++) cpu_run(1232, 0);
        ends.push_back(ProcessorState::capture());
    }
    EXPECT_EQ(ends[1].differences(ends[0]), "");
}

}  // namespace
