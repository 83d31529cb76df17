// A console brought up as the program brings it up, with a cartridge image
// built in memory, and a picture in plain memory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/console.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"
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
    console_reset();
}

class ConsoleTest : public ::testing::Test {
   protected:
    void SetUp() override {
        screen = {test_picture, SCREEN_WIDTH * 4,
                  [] { std::memset(test_picture, 0, sizeof test_picture); }, nullptr};
        dialog = {nullptr, nullptr};
        processor_run = run_processor;
        front_end = {nullptr};
        session = {false, false, false, 0};
        loaded_rom_path.clear();
        console_startup();
        load_test_image({});
    }
    void TearDown() override {
        console_shutdown();
        dynarec_translate_after(0);  // a test may have chosen its own count
    }
};
