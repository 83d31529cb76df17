// Runs Thumb halfwords from a test cartridge: the program lies at 0x08000000
// and the processor enters Thumb state there, as an ARM BX would leave it.
#pragma once

#include <string>
#include <vector>

#include "console_fixture.h"
#include "cpu/cpu.h"

// Installs `halfwords` at 0x08000000 (padded with MOV r8, r8) and enters
// Thumb state at its start; `words` follow at 0x08000000 + word_offset.
inline void load_thumb_program(const std::vector<uint16_t>& halfwords,
                               const std::vector<uint32_t>& words = {}, uint32_t word_offset = 0) {
    std::vector<uint32_t> image((halfwords.size() + 1) / 2 + 8, 0x46C046C0);
    for (size_t i = 0; i < halfwords.size(); i++) {
        uint32_t shift = (i & 1) ? 16 : 0;
        image[i / 2] = (image[i / 2] & ~(0xFFFFu << shift)) | uint32_t(halfwords[i]) << shift;
    }
    if (!words.empty()) {
        size_t first = word_offset / 4;
        if (image.size() < first + words.size()) image.resize(first + words.size(), 0x46C046C0);
        for (size_t i = 0; i < words.size(); i++) image[first + i] = words[i];
    }
    load_test_image(image);
    enter_thumb(0x08000001);
    thumb_refill();
}

// Flags as four letters N Z C V, upper case when set: "nZCv".
inline void set_flags(const char* nzcv) {
    flag_n = nzcv[0] == 'N';
    flag_z = nzcv[1] == 'Z';
    flag_c = nzcv[2] == 'C';
    flag_v = nzcv[3] == 'V';
}

inline std::string flags_text() {
    return std::string{flag_n ? 'N' : 'n', flag_z ? 'Z' : 'z', flag_c ? 'C' : 'c',
                       flag_v ? 'V' : 'v'};
}

// Runs `steps` instructions and returns the cycles they reported.
inline uint32_t run_steps(int steps) {
    uint32_t cycles = 0;
    for (int i = 0; i < steps; i++) cycles += cpu_step() & 0xFFFF;
    return cycles;
}
