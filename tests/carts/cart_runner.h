// Runs quorrant-run on a cartridge and reads back what it reports: the
// results block our test cartridges fill in at 0x03000000, the registers and
// the picture hash.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct CartRun {
    int exit_status = -1;
    std::string output;                    // everything quorrant-run printed
    std::map<std::string, uint32_t> regs;  // "r0".."r15", "cpsr"
    std::map<uint32_t, std::vector<uint8_t>> peeks;
    std::string frame_hash;  // "0x..." or empty

    // The results block, when the run peeked it (peek_results).
    uint32_t word(uint32_t address) const;
    bool has_results() const;
    uint32_t magic() const { return word(0x03000000); }
    uint32_t status() const { return word(0x03000004); }
    uint32_t passed() const { return word(0x03000008); }
    uint32_t failed() const { return word(0x0300000C); }
    uint32_t first_failure() const { return word(0x03000010); }
    uint32_t exit_code() const { return word(0x03000014); }
    std::string text() const;  // what the cartridge printed
};

constexpr uint32_t RESULTS_MAGIC = 0x514F5252;
constexpr uint32_t RESULTS_BLOCK_SIZE = 4096;

// Path of a cartridge image built from carts/.
std::string cart_path(const std::string& name);

// quorrant-run with the given arguments (the image last); adds --regs and a
// --peek of the results block.
CartRun run_cart(const std::string& image, const std::vector<std::string>& args = {});

// Runs a program and returns its standard output (status in *status, and
// standard error in *error_output when that is not null).
std::string run_command(const std::vector<std::string>& argv, int* status,
                        std::string* error_output = nullptr);
