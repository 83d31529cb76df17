#include "cart_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

std::string cart_path(const std::string& name) {
    return std::string(CART_DIR) + "/" + name + ".gba";
}

std::string run_command(const std::vector<std::string>& argv, int* status,
                        std::string* error_output) {
    // Standard error goes to a file, so that neither pipe can fill while
    // the other is read.
    std::FILE* errors = error_output ? std::tmpfile() : nullptr;
    int fds[2];
    if (pipe(fds) != 0) std::abort();
    pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], STDOUT_FILENO);
        if (errors) dup2(fileno(errors), STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    std::string output;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, size_t(n));
    close(fds[0]);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    *status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    if (errors) {
        error_output->clear();
        std::rewind(errors);
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, errors)) > 0)
            error_output->append(buffer, got);
        std::fclose(errors);
    }
    return output;
}

CartRun run_cart(const std::string& image, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {QUORRANT_RUN, "--regs", "--peek", "3000000:4096"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(image);
    CartRun run;
    run.output = run_command(argv, &run.exit_status);
    std::istringstream lines(run.output);
    std::string line;
    // A peek prints 16 bytes a line; a line that starts where the previous
    // one ended continues the same peek.
    std::vector<uint8_t>* peek = nullptr;
    uint32_t peek_base = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key.size() > 3 && key.compare(0, 2, "0x") == 0 && key.back() == ':') {
            uint32_t address = uint32_t(std::stoul(key.substr(2, key.size() - 3), nullptr, 16));
            if (!peek || address != peek_base + peek->size()) {
                peek_base = address;
                peek = &run.peeks[address];
            }
            std::string byte;
            while (fields >> byte) peek->push_back(uint8_t(std::stoul(byte, nullptr, 16)));
        } else if (key == "frame-hash") {
            fields >> run.frame_hash;
        } else if ((key.size() >= 2 && key[0] == 'r' && isdigit(key[1])) || key == "cpsr") {
            std::string value;
            fields >> value;
            run.regs[key] = uint32_t(std::stoul(value, nullptr, 16));
        }
    }
    return run;
}

uint32_t CartRun::word(uint32_t address) const {
    for (const auto& [base, bytes] : peeks) {
        if (address >= base && address + 4 <= base + bytes.size()) {
            size_t o = address - base;
            return uint32_t(bytes[o]) | uint32_t(bytes[o + 1]) << 8 | uint32_t(bytes[o + 2]) << 16 |
                   uint32_t(bytes[o + 3]) << 24;
        }
    }
    return 0;
}

bool CartRun::has_results() const { return magic() == RESULTS_MAGIC; }

std::string CartRun::text() const {
    uint32_t length = word(0x03000018);
    std::string text;
    for (uint32_t i = 0; i < length && i < RESULTS_BLOCK_SIZE - 32; i++) {
        uint32_t address = 0x03000020 + i;
        for (const auto& [base, bytes] : peeks)
            if (address >= base && address < base + bytes.size())
                text.push_back(char(bytes[address - base]));
    }
    return text;
}
