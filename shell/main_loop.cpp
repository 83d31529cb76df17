// Start-up order and the events of the main loop.
#include "shell/main_loop.h"

#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/thumb.h"
#include "dynarec/dynarec.h"
#include "memory/memory.h"
#include "shell/cartridge.h"
#include "shell/keys.h"
#include "video/video.h"

void console_startup() {
    code_buffer_init();
    alloc_memory();
    build_arm_table();
    build_thumb_table();
    write_bios_image();
}

void console_shutdown() {
    code_buffer_release();
    free_memory();
}

namespace {

// F5 and F6 choose the method for ARM code, in either instruction set: a
// choice made in Thumb state takes effect when ARM code runs again.
void switch_to_interpreter() { cpu_method = Method::Interpretative; }

void switch_to_dynarec() {
    if (dynarec_available()) cpu_method = Method::Dynarec;
}

}  // namespace

bool handle_event(const ShellEvent& event) {
    switch (event.type) {
        case EVENT_KEY_DOWN:
            switch (event.key_symbol) {
                case KEY_F1: load_rom(); break;
                case KEY_F5: switch_to_interpreter(); break;
                case KEY_F6: switch_to_dynarec(); break;
                case KEY_F12: return false;
                default: press_key(event.key_symbol); break;
            }
            return true;
        case EVENT_KEY_UP: release_key(event.key_symbol); return true;
        case EVENT_QUIT: return false;
        default: return true;
    }
}

bool main_loop_iteration(ShellEvent (*poll_event)(), void (*lock_picture)()) {
    if (!handle_event(poll_event())) return false;
    lock_picture();
    frame_run();
    return true;
}
