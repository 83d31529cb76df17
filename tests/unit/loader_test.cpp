// Loading cartridge images from files: sizes, failures, what a load resets
// and what it keeps, and the messages the user sees.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "console_fixture.h"
#include "dynarec/dynarec.h"

namespace {

std::vector<std::string> messages;

void record_message(const char* text, const char* title) {
    messages.push_back(std::string(text) + "|" + (title ? title : "(default)"));
}

std::string scripted_path;
bool scripted_choose(std::string& path) {
    path = scripted_path;
    return !path.empty();
}

class LoaderTest : public ConsoleTest {
   protected:
    std::string dir;
    void SetUp() override {
        ConsoleTest::SetUp();
        messages.clear();
        dialog = {scripted_choose, record_message};
        char pattern[] = "/tmp/quorrant-loader-XXXXXX";
        dir = mkdtemp(pattern);
    }
    void TearDown() override {
        std::system(("rm -rf '" + dir + "'").c_str());
        ConsoleTest::TearDown();
    }
    // A file of `size` bytes, byte i holding (i * 7 + 1) & 0xFF.
    std::string make_file(const std::string& name, size_t size) {
        std::string path = dir + "/" + name;
        std::ofstream out(path, std::ios::binary);
        for (size_t i = 0; i < size; i++) out.put(char((i * 7 + 1) & 0xFF));
        return path;
    }
};

TEST_F(LoaderTest, ShortFileIsFollowedByZeros) {
    EXPECT_FALSE(read_rom_file(make_file("a.gba", 1000).c_str()));
    EXPECT_EQ(rom_size, ROM_MIN_SIZE);
    EXPECT_EQ(mem_read8(0x080003E7), (999u * 7 + 1) & 0xFF);
    EXPECT_EQ(mem_read8(0x080003E8), 0u);
}

TEST_F(LoaderTest, BufferSizes) {
    struct Case {
        size_t file_size, buffer_size;
    } cases[] = {{0, ROM_MIN_SIZE},
                 {1, ROM_MIN_SIZE},
                 {ROM_MIN_SIZE - 1, ROM_MIN_SIZE},
                 {ROM_MIN_SIZE, ROM_MIN_SIZE},
                 {ROM_MIN_SIZE + 1, ROM_MIN_SIZE + 1},
                 {16 * 1024 * 1024 + 1, 16 * 1024 * 1024 + 1},
                 {ROM_MAX_SIZE, ROM_MAX_SIZE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file_size);
        EXPECT_FALSE(read_rom_file(make_file("sized.gba", c.file_size).c_str()));
        EXPECT_EQ(rom_size, c.buffer_size);
        if (c.file_size >= 0x1000000) continue;  // the bus shows the first 16 MB only
        EXPECT_EQ(mem_read8(0x08000000 + uint32_t(c.file_size)), 0u);
        if (c.file_size > 0) {
            EXPECT_EQ(mem_read8(0x08000000 + uint32_t(c.file_size - 1)) & 0xFF,
                      ((c.file_size - 1) * 7 + 1) & 0xFF);
        }
    }
    // Bytes beyond 16 MB are not reachable: 0x09000000 shows the first byte.
    EXPECT_EQ(mem_read8(0x09000000), 1u);
}

TEST_F(LoaderTest, FailedLoadsKeepThePreviousImage) {
    std::string good = make_file("good.gba", 2000);
    ASSERT_FALSE(read_rom_file(good.c_str()));
    std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string failing[] = {
        "",                                       // cancelled dialog
        dir + "/missing.gba",                     // no such file
        dir,                                      // a directory
        fifo,                                     // would block: refused
        make_file("huge.gba", ROM_MAX_SIZE + 1),  // beyond the largest cartridge
        "/" + std::string(PATH_LIMIT, 'x'),       // 256 characters
    };
    for (const std::string& path : failing) {
        SCOPED_TRACE(path.substr(0, 60));
        EXPECT_TRUE(read_rom_file(path.c_str()));
        EXPECT_EQ(rom_size, ROM_MIN_SIZE);
        EXPECT_EQ(mem_read8(0x08000001), 8u);  // still the good image
    }
}

// The size is measured with fstat on the descriptor the bytes are then read
// from, so a file cannot be swapped or removed in between: an unlinked file
// stays readable through the open descriptor. What can happen is that the
// file holds fewer or more bytes than measured (truncated or appended to
// while it is read). Kernel files do both on their own: /sys attributes
// measure 4096 bytes and hold a few, /proc files measure 0 and hold some.
TEST_F(LoaderTest, FileThatChangesWhileReadFailsWithTheReadError) {
    std::string good = make_file("good.gba", 2000);
    ASSERT_FALSE(read_rom_file(good.c_str()));
    const char* candidates[] = {
        "/proc/version",                                // measures 0 bytes, holds more
        "/proc/self/status",                            // likewise
        "/sys/kernel/mm/transparent_hugepage/enabled",  // measures 4096, holds fewer
        "/sys/kernel/uevent_seqnum",                    // likewise
    };
    int tried = 0;
    for (const char* path : candidates) {
        struct stat info;
        if (stat(path, &info) != 0 || !S_ISREG(info.st_mode) ||
            (info.st_size != 0 && info.st_size != 4096) || access(path, R_OK) != 0)
            continue;
        SCOPED_TRACE(path);
        tried++;
        messages.clear();
        EXPECT_TRUE(read_rom_file(path));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], "Error!!!|(default)");
        EXPECT_EQ(rom_size, ROM_MIN_SIZE);
        EXPECT_EQ(mem_read8(0x08000001), 8u);  // still the good image
    }
    if (tried == 0) GTEST_SKIP() << "no /proc or /sys file to read";
}

TEST_F(LoaderTest, PathOfExactly255CharactersLoads) {
    const std::string segment = "/" + std::string(59, 'd');
    std::string path = dir;
    while (path.size() + segment.size() < PATH_LIMIT - 10) {
        path += segment;
        mkdir(path.c_str(), 0700);
    }
    path += "/";
    path.append(PATH_LIMIT - path.size(), 'f');
    ASSERT_EQ(path.size(), PATH_LIMIT);
    { std::ofstream(path, std::ios::binary) << "QRNT"; }
    EXPECT_FALSE(read_rom_file(path.c_str()));
    EXPECT_EQ(mem_read32(0x08000000), 0x544E5251u);
}

TEST_F(LoaderTest, NamesAreBytesNotText) {
    std::string path = make_file("\xff\xfe-\xc3\x28.gba", 8);  // not UTF-8
    EXPECT_FALSE(read_rom_file(path.c_str()));
    EXPECT_EQ(mem_read8(0x08000007), (7u * 7 + 1) & 0xFF);
}

// Marks of a running cartridge that a reset would wipe: a pixel, a palette
// entry, the processor in Thumb state somewhere in the image.
void mark_running_state() {
    test_picture[5] = 0xFFFFFFFF;
    mem_write16(0x05000000, 0x7FFF);
    cpu_cpsr |= CPSR_T;
    cpu_method = Method::Dynarec;
    cpu_regs[15] = 0x08001234;
}

bool running_state_kept() {
    return test_picture[5] == 0xFFFFFFFF && host_palette[0] != 0 && in_thumb_state() && cpu_method == Method::Dynarec &&
           cpu_regs[15] == 0x08001234;
}

TEST_F(LoaderTest, CancelWithNothingLoadedShowsRomErrorAndResets) {
    mark_running_state();
    scripted_path = "";
    EXPECT_EQ(load_rom(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Rom Error!|Error");
    EXPECT_EQ(test_picture[5], 0u);
    EXPECT_EQ(host_palette[0], 0u);
    EXPECT_FALSE(in_thumb_state());
    EXPECT_EQ(cpu_method, Method::Interpretative);
    EXPECT_EQ(cpu_regs[15], 0x08000008u);
}

// With a cartridge running, a cancel changes nothing and a failed load only
// says why (the reason on the box's second line): the game goes on where it
// was, on the image it had.
TEST_F(LoaderTest, CancelOrFailureLeavesARunningCartridgeAlone) {
    std::string good = make_file("good.gba", 2000);
    scripted_path = good;
    load_rom();
    ASSERT_EQ(loaded_rom_path, good);
    struct Case {
        std::string path;
        const char* message;  // null: none
    } cases[] = {
        {"", nullptr},
        {dir + "/missing.gba", "Rom Error!\nno such file|Error"},
        {dir, "Rom Error!\nnot a regular file|Error"},
        {make_file("huge.gba", ROM_MAX_SIZE + 1),
         "Rom Error!\nlarger than 32 MiB, the largest cartridge|Error"},
        {"/" + std::string(PATH_LIMIT, 'x'),
         "Rom Error!\nthe path is longer than 255 characters|Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 60));
        messages.clear();
        mark_running_state();
        scripted_path = c.path;
        EXPECT_EQ(load_rom(), 0);
        if (c.message) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0], c.message);
        } else {
            EXPECT_TRUE(messages.empty());
        }
        EXPECT_TRUE(running_state_kept());
        EXPECT_EQ(loaded_rom_path, good);
        EXPECT_EQ(mem_read8(0x08000001), 8u);  // still the good image
    }
}

TEST_F(LoaderTest, FailureWithNothingLoadedGivesTheReasonAndResets) {
    mark_running_state();
    scripted_path = dir + "/missing.gba";
    load_rom();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Rom Error!\nno such file|Error");
    EXPECT_EQ(test_picture[5], 0u);
    EXPECT_EQ(cpu_regs[15], 0x08000008u);
    EXPECT_EQ(loaded_rom_path, "");
}

TEST_F(LoaderTest, SuccessfulLoadRestartsUnderTheInterpreter) {
    std::string first = make_file("first.gba", 64), second = make_file("second.gba", 64);
    scripted_path = first;
    load_rom();
    mark_running_state();
    scripted_path = second;
    load_rom();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(loaded_rom_path, second);
    EXPECT_EQ(test_picture[5], 0u);
    EXPECT_EQ(cpu_method, Method::Interpretative);
    EXPECT_FALSE(in_thumb_state());
    EXPECT_EQ(cpu_regs[15], 0x08000008u);
}

TEST_F(LoaderTest, LoadResetsVideoDmaAndProcessorButKeepsRamAndKeys) {
    scripted_path = make_file("game.gba", 64);
    wram[10] = 0x5A;
    iram[20] = 0xA5;
    io_regs[0x40] = 0x77;
    cart_ram[3] = 0x33;
    vram[0x18000] = 0x44;  // top 32 KB: never cleared
    vram[0x100] = 0x11;
    oam[8] = 0x22;
    key_state = 0xFFFE;
    mem_write32(0x040000D4, 0x02000000);
    mem_write32(0x040000D8, 0x03000000);
    mem_write16(0x040000DE, 0x8400);
    load_rom();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(wram[10], 0x5A);
    EXPECT_EQ(iram[20], 0xA5);
    EXPECT_EQ(io_regs[0x40], 0x77);
    EXPECT_EQ(cart_ram[3], 0x33);
    EXPECT_EQ(vram[0x18000], 0x44);
    EXPECT_EQ(vram[0x100], 0);
    EXPECT_EQ(oam[8], 0);
    EXPECT_EQ(key_state, 0xFFFE);
    // A copy the next cartridge starts by writing only the count must not
    // take the previous cartridge's addresses.
    EXPECT_EQ(dma3_source, 0u);
    EXPECT_EQ(dma3_dest, 0u);
    EXPECT_EQ(dma3_control, 0u);
    EXPECT_EQ(cpu_opcode, mem_read32(0x08000000));  // first word latched
    EXPECT_EQ(cpu_regs[13], 0x03007F00u);
}

// A cartridge starts in System mode (as the console's boot ROM leaves it),
// in ARM state with its flags clear, whatever the previous one left.
TEST_F(LoaderTest, ResetReturnsToSystemModeArmState) {
    cpu_set_mode(0x13);
    cpu_cpsr |= CPSR_T;
    flag_c = 1;
    console_reset();
    EXPECT_EQ(cpu_cpsr, 0x1Fu);
    EXPECT_EQ(flag_c, 0);
    EXPECT_EQ(cpu_regs[13], 0x03007F00u);
    EXPECT_EQ(bank_svc.regs[13], 0x03007FE0u);
    EXPECT_EQ(bank_irq.regs[13], 0x03007FA0u);
}

}  // namespace
