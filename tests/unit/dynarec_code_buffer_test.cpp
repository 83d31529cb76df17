// The code buffer: no mapping of the process is ever writable and executable
// at once while the recompiler runs, code rewritten through the buffer's
// writing side runs new, and the size chosen at start-up is the size used.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/code_buffer.h"
#include "dynarec/emitter.h"
#include "dynarec/x86.h"

namespace {

struct Mapping {
    uintptr_t start, end;
    std::string permissions, name;
};

std::vector<Mapping> mappings() {
    std::vector<Mapping> result;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        Mapping m;
        size_t dash = line.find('-'), space = line.find(' ');
        m.start = std::stoull(line.substr(0, dash), nullptr, 16);
        m.end = std::stoull(line.substr(dash + 1, space - dash - 1), nullptr, 16);
        m.permissions = line.substr(space + 1, 4);
        size_t slash = line.find_first_of("/[", space);
        size_t memfd = line.find("memfd:");
        if (memfd != std::string::npos) slash = memfd;
        m.name = slash == std::string::npos ? "" : line.substr(slash);
        result.push_back(m);
    }
    return result;
}

// Every mapping that is writable and executable at once.
std::string writable_and_executable() {
    std::string found;
    for (const Mapping& m : mappings())
        if (m.permissions[1] == 'w' && m.permissions[2] == 'x') found += m.name + " ";
    return found;
}

class CodeBufferTest : public ConsoleTest {
   protected:
    void TearDown() override {
        code_buffer_choose_size(CODE_BUFFER_DEFAULT_SIZE);
        ConsoleTest::TearDown();
    }
    void restart_with_size(uint32_t bytes) {
        code_buffer_release();
        code_buffer_choose_size(bytes);
        code_buffer_init();
    }
};

// 4 KB of ADDs, each 64 ending in B to the next group, and a branch back:
// the smallest buffer fills and is emptied again and again.
TEST_F(CodeBufferTest, NoMappingIsWritableAndExecutableDuringARun) {
    restart_with_size(CODE_BUFFER_MIN_SIZE);
    std::vector<uint32_t> words(0x8000 / 4, 0xE2800001);                    // ADD r0, r0, #1
    words.back() = 0xEA000000 | ((-int32_t(words.size()) - 1) & 0xFFFFFF);  // B 0x08000000
    load_test_image(words);
    cpu_method = Method::Dynarec;
    uint64_t flushes = dynarec_flush_count;
    for (int i = 0; i < 2000; i++) {
        dynarec_step();
        if (i % 50 == 0) {
            ASSERT_EQ(writable_and_executable(), "") << "after step " << i;
        }
    }
    EXPECT_GT(dynarec_flush_count, flushes);
    EXPECT_EQ(writable_and_executable(), "");
}

// Where blocks run, the process sees the buffer readable and executable;
// with two views, the same memory object is mapped once more, writable.
TEST_F(CodeBufferTest, BlocksRunFromAnExecutableViewThatIsNotWritable) {
    uintptr_t start = uintptr_t(code_buffer), end = start + code_buffer_size;
    bool covered = false;
    int views = 0;
    for (const Mapping& m : mappings()) {
        if (m.start <= start && end <= m.end) {
            covered = true;
            EXPECT_EQ(m.permissions.substr(0, 3), "r-x");
        }
        if (m.name.find("quorrant-code") != std::string::npos) views++;
    }
    EXPECT_TRUE(covered);
    EXPECT_EQ(views, code_buffer_two_views() ? 2 : 0);
#if !defined(QUORRANT_CODE_BUFFER_SWITCHING)
    EXPECT_TRUE(code_buffer_two_views());  // every Linux host here has memfd
#endif
}

// A routine in the buffer (mov eax, imm32; ret), called, rewritten through
// the writing side, called again: the new code runs.
TEST_F(CodeBufferTest, CodeRewrittenInTheBufferRunsNew) {
    for (uint32_t at : {0u, 0x1000u - 3, code_buffer_size - 6}) {
        SCOPED_TRACE(at);
        code_buffer_writable();
        code_pos = at;
        x86::mov(x86::eax, 0x11111111u);  // B8 imm32
        x86::ret();
        code_buffer_executable();
        auto routine = reinterpret_cast<uint32_t (*)()>(code_buffer + at);
        EXPECT_EQ(routine(), 0x11111111u);
        for (uint32_t value : {0x22222222u, 0x33333333u}) {
            code_buffer_writable();
            code_patch32(at + 1, value);
            code_buffer_executable();
            EXPECT_EQ(routine(), value);
        }
    }
    code_pos = 0;
}

TEST_F(CodeBufferTest, SizeChosenAtStartUpIsRoundedAndBounded) {
    const struct {
        uint32_t chosen, used;
    } cases[] = {
        {1, CODE_BUFFER_MIN_SIZE},
        {CODE_BUFFER_DEFAULT_SIZE,
         code_buffer_two_views() ? CODE_BUFFER_MAX_SIZE : CODE_BUFFER_SWITCHING_SIZE},
        {CODE_BUFFER_MIN_SIZE + 1, CODE_BUFFER_MIN_SIZE + 4096},
        {0x10000, 0x10000},
        {CODE_BUFFER_MAX_SIZE, CODE_BUFFER_MAX_SIZE},
        {0xFFFFFFFF, CODE_BUFFER_MAX_SIZE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        restart_with_size(c.chosen);
        EXPECT_EQ(code_buffer_size, c.used);
        // The last byte is usable from both sides.
        code_buffer_writable();
        code_patch8(code_buffer_size - 1, 0xC3);
        code_buffer_executable();
        EXPECT_EQ(code_buffer[code_buffer_size - 1], 0xC3);
    }
}

}  // namespace

#endif
