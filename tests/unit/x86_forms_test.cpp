// The back end's x86 forms: every form's bytes against GNU as on this host
// (x86-64 or i386), and jumps, fixups and calls run for real.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/emitter.h"
#include "dynarec/x86.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace x86;

class X86FormsTest : public ::testing::Test {
   protected:
    void SetUp() override {
        code_buffer_init();
        code_buffer_writable();
    }
    void TearDown() override {
        code_buffer_executable();
        code_buffer_release();
    }
    Bytes emitted(uint16_t at, const std::function<void()>& emit) {
        code_pos = at;
        emit();
        return Bytes(code_buffer + at, code_buffer + code_pos);
    }
};

bool assembler_present() { return std::system("as --version >/dev/null 2>&1") == 0; }

// Assembles Intel-syntax lines for this host and returns the .text bytes.
Bytes assemble(const std::string& line) {
#if defined(__x86_64__)
    const char* arch = "--64";
#else
    const char* arch = "--32";
#endif
    std::string stem = ::testing::TempDir() + "/quorrant_x86_" + std::to_string(::getpid());
    std::ofstream(stem + ".s") << ".intel_syntax noprefix\n.text\n" << line << "\n";
    std::string command = std::string("as ") + arch + " -o " + stem + ".o " + stem + ".s && " +
                          "objcopy -O binary -j .text " + stem + ".o " + stem + ".bin";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(stem + ".bin", std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* suffix : {".s", ".o", ".bin"}) std::remove((stem + suffix).c_str());
    return bytes;
}

struct Form {
    std::string text;  // what as assembles
    std::function<void()> emit;
};

// Forms whose text is the same on both hosts but for the pointer registers.
#if defined(__x86_64__)
const std::string BX = "rbx", SP = "rsp", BP = "rbp", CX = "rcx", AX = "rax", DX = "rdx";
#else
const std::string BX = "ebx", SP = "esp", BP = "ebp", CX = "ecx", AX = "eax", DX = "edx";
#endif

std::vector<Form> common_forms() {
    const RegPtr rbx = ptr(ebx), rsp = ptr(esp), rbp = ptr(ebp);
    return {
        {"mov edx, eax", [] { mov(edx, eax); }},
        {"mov edi, 0x12345678", [] { mov(edi, 0x12345678u); }},
        {"mov eax, DWORD PTR [" + BX + "+0x10]", [=] { mov(eax, mem(rbx, 0x10)); }},
        {"mov ecx, DWORD PTR [" + BX + "-0x4]", [=] { mov(ecx, mem(rbx, -4)); }},
        {"mov esi, DWORD PTR [" + BX + "+0x1000]", [=] { mov(esi, mem(rbx, 0x1000)); }},
        {"mov DWORD PTR [" + SP + "+0x8], ecx", [=] { mov(mem(rsp, 8), ecx); }},
        {"mov DWORD PTR [" + BP + "], eax", [=] { mov(mem(rbp), eax); }},
        {"mov DWORD PTR [" + BX + "], edx", [=] { mov(mem(rbx), edx); }},
        {"mov DWORD PTR [" + BX + "+0x1000], 0x5", [=] { mov(mem(rbx, 0x1000), 5u); }},
        {"mov BYTE PTR [" + BX + "+0x4], cl", [=] { mov8(mem(rbx, 4), low8(ecx)); }},
        {"mov BYTE PTR [" + BX + "+0x4], 0x1", [=] { mov8(mem(rbx, 4), uint8_t(1)); }},
        {"mov WORD PTR [" + BX + "], ax", [=] { mov16(mem(rbx), eax); }},
        {"movzx eax, cl", [] { movzx8(eax, low8(ecx)); }},
        {"movzx eax, BYTE PTR [" + BX + "+" + CX + "*1]", [=] { movzx8(eax, mem(rbx, ecx, 1)); }},
        {"movsx edx, BYTE PTR [" + BX + "+0x7]", [=] { movsx8(edx, mem(rbx, 7)); }},
        {"movzx eax, WORD PTR [" + BX + "+0x2]", [=] { movzx16(eax, mem(rbx, 2)); }},
        {"movsx eax, WORD PTR [" + BX + "+0x2]", [=] { movsx16(eax, mem(rbx, 2)); }},
        {"lea eax, [" + BX + "+" + CX + "*4+0x10]", [=] { lea(eax, mem(rbx, ecx, 4, 0x10)); }},
        {"lea ecx, [" + AX + "+" + CX + "*8-0x200]",
         [=] { lea(ecx, mem(ptr(eax), ecx, 8, -0x200)); }},
        {"lea " + BX + ", [" + SP + "+0x8]", [=] { lea_ptr(rbx, mem(rsp, 8)); }},
        {"mov " + CX + ", " + (BX == "rbx" ? "QWORD" : "DWORD") + " PTR [" + BX + "+0x8]",
         [=] { mov_ptr(ptr(ecx), mem(rbx, 8)); }},
        {"mov " + std::string(BX == "rbx" ? "QWORD" : "DWORD") + " PTR [" + SP + "], " + BX,
         [=] { mov_ptr(mem(rsp), rbx); }},
        {"add edx, eax", [] { alu(ADD, edx, eax); }},
        {"adc ecx, edx", [] { alu(ADC, ecx, edx); }},
        {"sbb esi, edi", [] { alu(SBB, esi, edi); }},
        {"xor eax, eax", [] { alu(XOR, eax, eax); }},
        {"add eax, 0x1000", [] { alu(ADD, eax, 0x1000u); }},
        {"add ecx, 0x5", [] { alu(ADD, ecx, 5u); }},
        {"and ecx, 0xff", [] { alu(AND, ecx, 0xFFu); }},
        {"cmp eax, 0xffffffff", [] { alu(CMP, eax, 0xFFFFFFFFu); }},
        {"or edx, 0x80000000", [] { alu(OR, edx, 0x80000000u); }},
        {"sub eax, DWORD PTR [" + BX + "+0x4]", [=] { alu(SUB, eax, mem(rbx, 4)); }},
        {"or DWORD PTR [" + BX + "+0x4], ecx", [=] { alu(OR, mem(rbx, 4), ecx); }},
        {"add DWORD PTR [" + BX + "+0x4], 0x1", [=] { alu(ADD, mem(rbx, 4), 1u); }},
        {"sub DWORD PTR [" + BX + "+0x40], 0x12345", [=] { alu(SUB, mem(rbx, 0x40), 0x12345u); }},
        {"and BYTE PTR [" + BX + "], 0x1", [=] { alu8(AND, mem(rbx), 1); }},
        {"sub " + SP + ", 0x8", [=] { alu_ptr(SUB, rsp, 8); }},
        {"add " + SP + ", 0x100", [=] { alu_ptr(ADD, rsp, 0x100); }},
        {"test eax, ecx", [] { test(eax, ecx); }},
        {"test ecx, 0x80000000", [] { test(ecx, 0x80000000u); }},
        {"test eax, 0x1", [] { test(eax, 1u); }},
        {"test BYTE PTR [" + BX + "+0x3], 0x80", [=] { test8(mem(rbx, 3), 0x80); }},
        {"not eax", [] { not_(eax); }},
        {"neg ecx", [] { neg(ecx); }},
        {"mul ecx", [] { mul(ecx); }},
        {"imul esi", [] { imul1(esi); }},
        {"imul eax, ecx", [] { imul(eax, ecx); }},
        {"shl eax, 1", [] { shift(SHL, eax, 1); }},
        {"sar edx, 0x1f", [] { shift(SAR, edx, 31); }},
        {"shr esi, 0x4", [] { shift(SHR, esi, 4); }},
        {"ror eax, cl", [] { shift_cl(ROR, eax); }},
        {"rcr eax, 1", [] { shift(RCR, eax, 1); }},
        {"rol edi, 0x8", [] { shift(ROL, edi, 8); }},
        {"bt eax, 0x3", [] { bt(eax, 3); }},
        {"setb al", [] { setcc(CC_B, low8(eax)); }},
        {"setne BYTE PTR [" + BX + "+0x1]", [=] { setcc(CC_NE, mem(rbx, 1)); }},
        {"cmovne eax, ecx", [] { cmov(CC_NE, eax, ecx); }},
        {"cmc", [] { cmc(); }},
        {"stc", [] { stc(); }},
        {"clc", [] { clc(); }},
        {"push " + BX, [=] { push(rbx); }},
        {"pop " + BP, [=] { pop(rbp); }},
        {"call " + AX, [] { call(ptr(eax)); }},
        {"jmp " + CX, [] { jmp(ptr(ecx)); }},
        {"ret", [] { ret(); }},
        // rel32 forms: "." is the instruction's own address
        {"call .+0x1000", [] { call(uintptr_t(code_buffer) + code_pos + 0x1000); }},
        {"jmp .+0x1000", [] { jmp(uintptr_t(code_buffer) + code_pos + 0x1000); }},
        {"jne .-0x1000", [] { jcc(CC_NE, uintptr_t(code_buffer) + code_pos - 0x1000); }},
        {"mov ecx, DWORD PTR ds:0x12345678",
         [] { mov(ecx, absolute(reinterpret_cast<const void*>(0x12345678))); }},
        {"cmp BYTE PTR ds:0x1234568, 0x0",
         [] { alu8(CMP, absolute(reinterpret_cast<const void*>(0x1234568)), 0); }},
        {"mov " + CX + ", " + (BX == "rbx" ? "QWORD" : "DWORD") + " PTR [" + DX + "*" +
             (BX == "rbx" ? "8" : "4") + "+0x123450]",
         [=] {
             mov_ptr(ptr(ecx),
                     absolute(reinterpret_cast<const void*>(0x123450), edx, sizeof(uintptr_t)));
         }},
        {"test " + DX + ", " + DX, [] { test_ptr(ptr(edx), ptr(edx)); }},
    };
}

#if defined(__x86_64__)
std::vector<Form> x86_64_forms() {
    const RegPtr r12 = ptr(r12d), r13 = ptr(r13d), rbx = ptr(ebx);
    return {
        {"mov r8d, DWORD PTR [r13+0x8]", [=] { mov(r8d, mem(r13, 8)); }},
        {"mov DWORD PTR [r13], eax", [=] { mov(mem(r13), eax); }},
        {"add r9d, eax", [] { alu(ADD, r9d, eax); }},
        {"sub eax, r15d", [] { alu(SUB, eax, r15d); }},
        {"mov DWORD PTR [r12], r11d", [=] { mov(mem(r12), r11d); }},
        {"lea eax, [rbx+r9*2]", [=] { lea(eax, mem(rbx, r9d, 2)); }},
        {"cmovl r10d, r11d", [] { cmov(CC_L, r10d, r11d); }},
        {"setge r8b", [] { setcc(CC_GE, low8(r8d)); }},
        {"movzx eax, sil", [] { movzx8(eax, low8(esi)); }},
        {"mov BYTE PTR [rbx], dil", [=] { mov8(mem(rbx), low8(edi)); }},
        {"mov r15d, 0x1", [] { mov(r15d, 1u); }},
        {"and r14d, 0x7f", [] { alu(AND, r14d, 0x7Fu); }},
        {"cmp r10d, 0x1000", [] { alu(CMP, r10d, 0x1000u); }},
        {"test r9d, r9d", [] { test(r9d, r9d); }},
        {"shl r12d, cl", [] { shift_cl(SHL, r12d); }},
        {"imul r8d, r9d", [] { imul(r8d, r9d); }},
        {"push r12", [=] { push(r12); }},
        {"pop r15", [] { pop(ptr(r15d)); }},
        {"call r11", [] { call(ptr(r11d)); }},
        {"movabs rax, 0x123456789abc", [] { mov_ptr(ptr(eax), uintptr_t(0x123456789ABCull)); }},
        {"mov QWORD PTR [r13+0x10], rbx", [=] { mov_ptr(mem(r13, 0x10), rbx); }},
    };
}
#endif

TEST_F(X86FormsTest, EveryFormMatchesGnuAs) {
    if (!assembler_present()) GTEST_SKIP() << "GNU as not installed";
    std::vector<Form> forms = common_forms();
#if defined(__x86_64__)
    for (Form& form : x86_64_forms()) forms.push_back(form);
#else
    forms.push_back({"mov eax, 0x12345678", [] { mov_ptr(ptr(eax), uintptr_t(0x12345678)); }});
#endif
    // One assembly of every line; only when the whole differs, one per line
    // to name the forms at fault.
    std::string all;
    for (const Form& form : forms) all += form.text + "\n";
    Bytes expected = assemble(all);
    ASSERT_FALSE(expected.empty());
    Bytes actual = emitted(0x200, [&] {
        for (const Form& form : forms) form.emit();
    });
    if (actual == expected) return;
    for (const Form& form : forms) {
        SCOPED_TRACE(form.text);
        EXPECT_EQ(emitted(0x200, form.emit), assemble(form.text));
    }
}

// A function emitted with the forms, then called: what it returns shows that
// fixups, conditional jumps and calls land where they should.
using Function = uint32_t (*)();

uint32_t seven() { return 7; }

TEST_F(X86FormsTest, EmittedCodeRuns) {
    struct Case {
        const char* what;
        std::function<void()> emit;
        uint32_t expected;
    };
    const Case cases[] = {
        {"a forward jump over a move",
         [] {
             mov(eax, 1u);
             Fixup skip = jmp_forward();
             mov(eax, 2u);
             patch_here(skip);
             ret();
         },
         1},
        {"a taken and a not-taken conditional jump",
         [] {
             mov(eax, 10u);
             alu(CMP, eax, 10u);
             Fixup equal = jcc_forward(CC_E);
             mov(eax, 20u);
             patch_here(equal);
             alu(CMP, eax, 11u);
             Fixup above = jcc_forward(CC_A);
             alu(ADD, eax, 5u);
             patch_here(above);
             ret();
         },
         15},
        {"a backward loop summing 1..10 with a conditional move",
         [] {
             alu(XOR, eax, eax);
             mov(ecx, 10u);
             uintptr_t top = uintptr_t(code_buffer) + code_pos;
             alu(ADD, eax, ecx);
             alu(SUB, ecx, 1u);
             jcc(CC_NE, top);
             mov(edx, 99u);
             alu(CMP, eax, 55u);
             cmov(CC_NE, eax, edx);
             ret();
         },
         55},
        {"carry into setcc and adc",
         [] {
             mov(eax, 0xFFFFFFFFu);
             alu(ADD, eax, 1u);  // carry out, zero
             setcc(CC_B, low8(ecx));
             movzx8(ecx, low8(ecx));
             mov(eax, 40u);
             stc();
             alu(ADC, eax, ecx);  // 40 + 1 + carry
             ret();
         },
         42},
        {"a call of a routine of the program",
         [] {
             alu_ptr(SUB, ptr(esp), 12);  // keep the ABI's alignment
             call(uintptr_t(&seven));
             alu_ptr(ADD, ptr(esp), 12);
             alu(ADD, eax, 1u);
             ret();
         },
         8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        code_pos = 0x400;
        c.emit();
        code_buffer_executable();
        EXPECT_EQ(reinterpret_cast<Function>(code_buffer + 0x400)(), c.expected);
        code_buffer_writable();
    }
}

}  // namespace

#endif
