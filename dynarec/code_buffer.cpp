// The code buffer's storage, its two views (or its switching) and patches.
#include "dynarec/code_buffer.h"

#include <cstring>

uint32_t code_buffer_size = CODE_BUFFER_MAX_SIZE;

namespace {

constexpr uint32_t PAGE = 4096;
uint32_t chosen_size = CODE_BUFFER_DEFAULT_SIZE;

}  // namespace

void code_buffer_choose_size(uint32_t bytes) {
    if (bytes == CODE_BUFFER_DEFAULT_SIZE) {
        chosen_size = CODE_BUFFER_DEFAULT_SIZE;
        return;
    }
    if (bytes < CODE_BUFFER_MIN_SIZE) bytes = CODE_BUFFER_MIN_SIZE;
    if (bytes > CODE_BUFFER_MAX_SIZE) bytes = CODE_BUFFER_MAX_SIZE;
    chosen_size = (bytes + PAGE - 1) / PAGE * PAGE;
}

#if defined(__x86_64__) || defined(__i386__)
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "dynarec/dynarec.h"

namespace {

// Static storage, next to cpu_regs and the handlers: the executable view is
// mapped over it, so that everything the blocks call or read is within
// 2 GiB of them on a 64-bit host.
alignas(PAGE) uint8_t code_storage[CODE_BUFFER_MAX_SIZE];

int memory_object = -1;  // the memfd behind both views, or -1 when switching

[[noreturn]] void fail(const char* what) {
    std::perror(what);
    std::abort();
}

void protect(int flags) {
    if (mprotect(code_storage, code_buffer_size, flags) != 0)
        fail("quorrant: mprotect of the code buffer");
}

// The executable view over the static storage and a writable view
// anywhere, both of one memory object; false when the host has no memfd.
bool map_two_views() {
#if defined(QUORRANT_CODE_BUFFER_SWITCHING)
    return false;
#else
    int fd = memfd_create("quorrant-code", MFD_CLOEXEC);
    if (fd < 0) return false;
    code_buffer_size = chosen_size ? chosen_size : CODE_BUFFER_MAX_SIZE;
    if (ftruncate(fd, code_buffer_size) != 0) fail("quorrant: sizing the code buffer");
    void* writable = mmap(nullptr, code_buffer_size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (writable == MAP_FAILED) fail("quorrant: mapping the code buffer for writing");
    void* executable =
        mmap(code_storage, code_buffer_size, PROT_READ | PROT_EXEC, MAP_SHARED | MAP_FIXED, fd, 0);
    if (executable == MAP_FAILED) fail("quorrant: mapping the code buffer for running");
    memory_object = fd;
    code_write_view = static_cast<uint8_t*>(writable);
    return true;
#endif
}

// Gives the static storage back as plain readable, writable memory.
void unmap_two_views() {
    munmap(code_write_view, code_buffer_size);
    void* plain = mmap(code_storage, code_buffer_size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (plain == MAP_FAILED) fail("quorrant: releasing the code buffer");
    close(memory_object);
    memory_object = -1;
    code_write_view = code_storage;
}

}  // namespace

uint8_t* const code_buffer = code_storage;
uint8_t* code_write_view = code_storage;
uint32_t code_pos = 0;

bool code_buffer_two_views() { return memory_object >= 0; }

void code_buffer_writable() {
    if (memory_object < 0) protect(PROT_READ | PROT_WRITE);
}

void code_buffer_executable() {
    if (memory_object < 0) protect(PROT_READ | PROT_EXEC);
}

void code_patch8(uint32_t pos, uint8_t b) { code_write_view[pos] = b; }

void code_patch32(uint32_t pos, uint32_t v) { std::memcpy(code_write_view + pos, &v, 4); }

void code_buffer_init() {
    code_pos = 0;
    if (!map_two_views()) {
        code_buffer_size = chosen_size ? chosen_size : CODE_BUFFER_SWITCHING_SIZE;
        protect(PROT_READ | PROT_WRITE);
        std::memset(code_storage, 0, code_buffer_size);
        protect(PROT_READ | PROT_EXEC);
    }
    dynarec_start();
}

// Static storage is not given back; it only stops being executable.
void code_buffer_release() {
    dynarec_stop();
    if (memory_object >= 0)
        unmap_two_views();
    else
        protect(PROT_READ | PROT_WRITE);
}

#else

bool code_buffer_two_views() { return false; }

#endif
