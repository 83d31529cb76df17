// A console brought up as the program brings it up, with a cartridge image
// built in memory, and a picture in plain memory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cpu/cpu.h"
#include "memory/memory.h"
#include "shell/cartridge.h"
#include "shell/keys.h"
#include "shell/main_loop.h"
#include "video/video.h"

inline uint32_t test_picture[SCREEN_WIDTH * SCREEN_HEIGHT];

// Installs `words` as a cartridge image at 0x08000000 (zero-padded to the
// minimum size) and resets the console as a load does.
inline void load_test_image(const std::vector<uint32_t>& words) {
    uint8_t* image = new uint8_t[ROM_MIN_SIZE]();
    if (!words.empty()) std::memcpy(image, words.data(), words.size() * 4);
    install_rom(image, ROM_MIN_SIZE);
    build_region_base();
    reset_console();
}

class ConsoleTest : public ::testing::Test {
   protected:
    void SetUp() override {
        screen = {test_picture, SCREEN_WIDTH * 4,
                  [] { std::memset(test_picture, 0, sizeof test_picture); }, nullptr};
        dialog = {nullptr, nullptr};
        front_end = {nullptr};
        session = {false, false, false, 0};
        loaded_rom_path.clear();
        console_startup();
        cpu_set_mode(0);
        cpu_cpsr = 0;
        cpu_spsr = 0;
        std::memset(&bank_usr, 0, sizeof bank_usr);
        std::memset(&bank_fiq, 0, sizeof bank_fiq);
        std::memset(&bank_irq, 0, sizeof bank_irq);
        std::memset(&bank_svc, 0, sizeof bank_svc);
        std::memset(&bank_abt, 0, sizeof bank_abt);
        std::memset(&bank_und, 0, sizeof bank_und);
        load_test_image({});
    }
    void TearDown() override { console_shutdown(); }
};
