// Inputs that once crashed the console or made the two methods disagree,
// each reduced to the few bus operations or instructions that matter.
#include <gtest/gtest.h>

#include "console_fixture.h"

namespace {

class FuzzRegressionTest : public ConsoleTest {};

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

}  // namespace
