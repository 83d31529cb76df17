// The emitter's bytes: the worked encodings by hand, each host's rule for
// ModRM 05/15 operands and rel32 calls, and every form against GNU as.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/emitter.h"

namespace {

using Bytes = std::vector<uint8_t>;

class EmitterTest : public ::testing::Test {
   protected:
    void SetUp() override {
        code_buffer_init();
        code_buffer_writable();
    }
    void TearDown() override {
        code_buffer_executable();
        code_buffer_release();
    }
    // Emits at position `at` and returns what was appended.
    Bytes emitted(uint16_t at, const std::function<void()>& emit) {
        code_pos = at;
        emit();
        return Bytes(code_buffer + at, code_buffer + code_pos);
    }
};

void append32(Bytes& bytes, uint32_t v) {
    for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(v >> (8 * i)));
}

// The four bytes of a ModRM 05/15 operand for `target`, in an instruction
// whose displacement ends at buffer position `end`: a 32-bit host has the
// absolute address, a 64-bit host the distance from the next instruction.
uint32_t operand_field(const void* target, uint16_t end) {
#if defined(__x86_64__)
    return uint32_t(uintptr_t(target) - (uintptr_t(code_buffer) + end));
#else
    (void)end;
    return uint32_t(uintptr_t(target));
#endif
}

Bytes with_operand(Bytes head, const void* target, uint16_t at) {
    uint16_t end = uint16_t(at + head.size() + 4);
    append32(head, operand_field(target, end));
    return head;
}

TEST_F(EmitterTest, WorkedEncodings) {
    const void* r0 = &cpu_regs[0];
    const void* r1 = &cpu_regs[1];
    struct Case {
        const char* text;
        std::function<void()> emit;
        Bytes expected;
    };
    const uint16_t at = 0x100;
    const Case cases[] = {
        {"mov eax, [r0]", [&] { emit_mov_r_mem(1, 0, r0); }, with_operand({0x8B, 0x05}, r0, at)},
        {"mov edx, [r1]", [&] { emit_mov_r_mem(1, 2, r1); }, with_operand({0x8B, 0x15}, r1, at)},
        {"mov [r0], eax", [&] { emit_mov_mem_r(1, 0, r0); }, with_operand({0x89, 0x05}, r0, at)},
        {"mov dl, [flag_c]", [&] { emit_mov_r_mem(0, 2, &flag_c); },
         with_operand({0x8A, 0x15}, &flag_c, at)},
        {"mov cl, al", [] { emit_mov_r_r(0, 1, 0); }, {0x8A, 0xC8}},
        {"mov cl, 0x20", [] { emit_mov_r_imm(0, 1, 0x20); }, {0xB1, 0x20}},
        {"mov eax, 0x12345678",
         [] { emit_mov_r_imm(1, 0, 0x12345678); },
         {0xB8, 0x78, 0x56, 0x34, 0x12}},
        {"and al, al", [] { emit_and_r_r(0, 0, 0); }, {0x22, 0xC0}},
        {"je", [] { emit_jcc_rel8(4); }, {0x74, 0x00}},
        {"add edx, eax", [] { emit_add_r_r(1, 2, 0); }, {0x03, 0xD0}},
        {"sub edx, eax", [] { emit_sub_r_r(1, 2, 0); }, {0x2B, 0xD0}},
        {"sub cl, dl", [] { emit_sub_r_r(0, 1, 2); }, {0x2A, 0xCA}},
        {"shl eax, cl", [] { emit_shl_cl(1, 0); }, {0xD3, 0xE0}},
        {"shr eax, cl", [] { emit_shr_cl(1, 0); }, {0xD3, 0xE8}},
        {"sar eax, cl", [] { emit_sar_cl(1, 0); }, {0xD3, 0xF8}},
        {"ror eax, cl", [] { emit_ror_cl(1, 0); }, {0xD3, 0xC8}},
        {"rcr eax, cl", [] { emit_rcr_cl(1, 0); }, {0xD3, 0xD8}},
        {"sar eax, 31", [] { emit_sar_imm(1, 0, 31); }, {0xC1, 0xF8, 0x1F}},
        {"ret", [] { emit_ret(); }, {0xC3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(emitted(at, c.emit), c.expected);
    }
}

TEST_F(EmitterTest, CallIsRelativeToTheEndOfTheInstruction) {
    for (uint16_t p : {uint16_t(0), uint16_t(0x1234), uint16_t(0xFFF0)}) {
        const void* target = routine_address(arm_fetch);
        Bytes expected = {0xE8};
        append32(expected, uint32_t(uintptr_t(target) - (uintptr_t(code_buffer) + p) - 5));
        EXPECT_EQ(emitted(p, [&] { emit_call(target); }), expected) << "at " << p;
    }
}

TEST_F(EmitterTest, PatchedShortJumpLandsAfterTheSkippedBytes) {
    const uint16_t p = 0x40;
    code_pos = p;
    uint16_t placeholder = emit_jcc_rel8(4);
    EXPECT_EQ(placeholder, p + 1);
    for (int i = 0; i < 9; i++) emit_u8(0x90);
    patch_rel8(uint16_t(p + 1), 10);
    EXPECT_EQ(code_buffer[p], 0x74);
    EXPECT_EQ(code_buffer[p + 1], 0x09);
    patch_rel8(placeholder, uint8_t(code_pos - placeholder));  // as the translator does
    EXPECT_EQ(code_buffer[p + 1], 0x09);
}

TEST_F(EmitterTest, OperandFollowsTheHostRuleAtEveryPosition) {
    // The same instruction at two positions: identical on a 32-bit host,
    // displacements that differ by the distance on a 64-bit host.
    const void* r15 = &cpu_regs[15];
    Bytes first = emitted(0, [&] { emit_mov_mem_r(1, 0, r15); });
    Bytes later = emitted(0x800, [&] { emit_mov_mem_r(1, 0, r15); });
    uint32_t d0 = first[2] | first[3] << 8 | first[4] << 16 | uint32_t(first[5]) << 24;
    uint32_t d1 = later[2] | later[3] << 8 | later[4] << 16 | uint32_t(later[5]) << 24;
#if defined(__x86_64__)
    EXPECT_EQ(d0 - d1, 0x800u);
    EXPECT_EQ(uintptr_t(code_buffer) + 6 + int32_t(d0), uintptr_t(r15));
#else
    EXPECT_EQ(d0, d1);
    EXPECT_EQ(d0, uint32_t(uintptr_t(r15)));
#endif
}

// --- The forms against GNU as ----------------------------------------------

bool assembler_present() { return std::system("as --version >/dev/null 2>&1") == 0; }

// Assembles Intel-syntax lines for this host and returns the .text bytes.
Bytes assemble(const std::string& source) {
#if defined(__x86_64__)
    const char* arch = "--64";
#else
    const char* arch = "--32";
#endif
    std::string dir = ::testing::TempDir();
    std::string stem = dir + "/quorrant_emitter_" + std::to_string(::getpid());
    std::ofstream(stem + ".s") << ".intel_syntax noprefix\n.text\n" << source;
    std::string command = std::string("as ") + arch + " -o " + stem + ".o " + stem + ".s && " +
                          "objcopy -O binary -j .text " + stem + ".o " + stem + ".bin";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(stem + ".bin", std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove((stem + ".s").c_str());
    std::remove((stem + ".o").c_str());
    std::remove((stem + ".bin").c_str());
    return bytes;
}

TEST_F(EmitterTest, FormsMatchGnuAs) {
    if (!assembler_present()) GTEST_SKIP() << "GNU as not installed";
        // An operand 0x1234 bytes past the end of its instruction on a 64-bit
        // host, the absolute address 0x12345678 on a 32-bit one.
#if defined(__x86_64__)
    auto target = [](uint16_t end) {
        return reinterpret_cast<const void*>(uintptr_t(code_buffer) + end + 0x1234);
    };
    const std::string mem = "[rip+0x1234]";
#else
    auto target = [](uint16_t) { return reinterpret_cast<const void*>(uintptr_t(0x12345678)); };
    const std::string mem = "ds:0x12345678";
#endif
    struct Form {
        std::string text;  // what as assembles
        std::function<void()> emit;
    };
    // {load} asks as for the reg <- r/m direction the emitter uses.
    const std::vector<Form> forms = {
        {"mov edx, DWORD PTR " + mem, [&] { emit_mov_r_mem(1, 2, target(code_pos + 6)); }},
        {"mov ecx, DWORD PTR " + mem, [&] { emit_mov_r_mem(1, 1, target(code_pos + 6)); }},
        {"mov dl, BYTE PTR " + mem, [&] { emit_mov_r_mem(0, 2, target(code_pos + 6)); }},
        {"mov DWORD PTR " + mem + ", edx", [&] { emit_mov_mem_r(1, 2, target(code_pos + 6)); }},
#if defined(__x86_64__)
        // (A 32-bit assembler picks the short moffs form for eax.)
        {"mov eax, DWORD PTR " + mem, [&] { emit_mov_r_mem(1, 0, target(code_pos + 6)); }},
        {"mov DWORD PTR " + mem + ", eax", [&] { emit_mov_mem_r(1, 0, target(code_pos + 6)); }},
#endif
        {"{load} mov cl, al", [] { emit_mov_r_r(0, 1, 0); }},
        {"{load} mov edx, eax", [] { emit_mov_r_r(1, 2, 0); }},
        {"mov cl, 0x1f", [] { emit_mov_r_imm(0, 1, 0x1F); }},
        {"mov eax, 0x12345678", [] { emit_mov_r_imm(1, 0, 0x12345678); }},
        {"mov edx, 0x6", [] { emit_mov_r_imm(1, 2, 6); }},
        {"{load} and al, al", [] { emit_and_r_r(0, 0, 0); }},
        {"{load} and edx, ecx", [] { emit_and_r_r(1, 2, 1); }},
        {"{load} add edx, eax", [] { emit_add_r_r(1, 2, 0); }},
        {"{load} add cl, dl", [] { emit_add_r_r(0, 1, 2); }},
        {"{load} sub edx, eax", [] { emit_sub_r_r(1, 2, 0); }},
        {"{load} sub cl, dl", [] { emit_sub_r_r(0, 1, 2); }},
        {"shl eax, cl", [] { emit_shl_cl(1, 0); }},
        {"shr edx, cl", [] { emit_shr_cl(1, 2); }},
        {"sar eax, cl", [] { emit_sar_cl(1, 0); }},
        {"ror eax, cl", [] { emit_ror_cl(1, 0); }},
        {"rcr eax, cl", [] { emit_rcr_cl(1, 0); }},
        {"shl al, cl", [] { emit_shl_cl(0, 0); }},
        {"sar eax, 31", [] { emit_sar_imm(1, 0, 31); }},
        {"je 1f\n1:", [] { emit_jcc_rel8(4); }},
        {"jne 1f\n1:", [] { emit_jcc_rel8(5); }},
        {"ret", [] { emit_ret(); }},
    };
    for (const Form& form : forms) {
        SCOPED_TRACE(form.text);
        Bytes expected = assemble(form.text + "\n");
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(emitted(0x200, form.emit), expected);
    }
}

}  // namespace

#endif
