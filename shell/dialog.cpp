// zenity is started with fork/exec and an argument vector, never through a
// shell, and waited for; its output is the chosen path.
#include "shell/dialog.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int ZENITY_MISSING = 127;

// Runs argv[0] from the PATH with stdout captured. Returns the exit status,
// or ZENITY_MISSING when it could not be started at all.
int run_captured(const std::vector<const char*>& argv, std::string& output) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return ZENITY_MISSING;
    pid_t child = fork();
    if (child < 0) {
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        return ZENITY_MISSING;
    }
    if (child == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        std::vector<char*> args;
        for (const char* arg : argv) args.push_back(const_cast<char*>(arg));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(ZENITY_MISSING);
    }
    close(pipe_fds[1]);
    char buffer[512];
    ssize_t n;
    while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, size_t(n));
    close(pipe_fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : ZENITY_MISSING;
}

// zenity exits 0 with a choice and 1 on cancel, but also 1 when it cannot
// open a display: it is only asked when there is one to show it on.
bool display_available() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

bool zenity_usable(int status) { return status == 0 || status == 1; }

// The terminal is the second way of asking; `why` says why zenity was not
// the first, for the one line printed when there is no way at all.
bool terminal_choose(std::string& path, const char* why) {
    if (!isatty(STDIN_FILENO)) {
        std::fprintf(stderr,
                     "Quorrant: cannot ask for a cartridge: %s and standard input is not a "
                     "terminal (give the image as an argument)\n",
                     why);
        return false;
    }
    std::cerr << "Cartridge image: " << std::flush;
    if (!std::getline(std::cin, path)) {
        path.clear();
        return false;
    }
    return !path.empty();
}

bool desktop_choose_path(std::string& path) {
    path.clear();
    if (!display_available()) return terminal_choose(path, "there is no display for zenity");
    std::string output;
    int status = run_captured(
        {"zenity", "--file-selection", "--title=Choose a cartridge", "--file-filter=rom files | *"},
        output);
    if (!zenity_usable(status)) return terminal_choose(path, "zenity is missing or failed");
    if (status != 0) return false;
    if (!output.empty() && output.back() == '\n') output.pop_back();
    path = output;
    return !path.empty();
}

void desktop_show_message(const char* text, const char* title) {
    std::string output;
    std::vector<const char*> argv = {"zenity", "--error", "--no-wrap"};
    std::string title_arg;
    if (title) {
        title_arg = std::string("--title=") + title;
        argv.push_back(title_arg.c_str());
    }
    std::string text_arg = std::string("--text=") + text;
    argv.push_back(text_arg.c_str());
    if (display_available() && zenity_usable(run_captured(argv, output))) return;
    // One line on standard error: the box's lines joined by spaces.
    std::string line = text;
    for (char& c : line)
        if (c == '\n') c = ' ';
    if (title)
        std::fprintf(stderr, "%s: %s\n", title, line.c_str());
    else
        std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

const DialogLayer desktop_dialog = {desktop_choose_path, desktop_show_message};
