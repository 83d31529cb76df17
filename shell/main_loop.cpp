// Start-up order and the events of the main loop.
#include "shell/main_loop.h"

#include "console/console.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/thumb.h"
#include "dynarec/dynarec.h"
#include "memory/memory.h"
#include "shell/cartridge.h"
#include "shell/keys.h"
#include "video/video.h"

Session session = {false, false, false, 0};
FrontEndHooks front_end = {nullptr};

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

// F5 and F6 choose the method for ARM and Thumb code alike, from the next
// frame on.
void switch_to_interpreter() { cpu_method = Method::Interpretative; }

// The method the user chose, which runs whatever the instruction set.
bool dynarec_chosen() { return cpu_method == Method::Dynarec; }

void switch_to_dynarec() {
    if (dynarec_available()) cpu_method = Method::Dynarec;
}

void toggle_pause() {
    session.paused = !session.paused;
    session.advance = false;
}

void advance_one_frame() {
    if (session.paused) session.advance = true;
}

void save_screenshot() {
    if (front_end.save_screenshot) front_end.save_screenshot();
}

bool act_on_key_down(int key_symbol) {
    switch (key_symbol) {
        case KEY_F1: load_rom(); break;
        case KEY_F2: restart_cartridge(); break;
        case KEY_F3: save_screenshot(); break;
        case KEY_F5: switch_to_interpreter(); break;
        case KEY_F6: switch_to_dynarec(); break;
        case KEY_F12: return false;
        case KEY_P: toggle_pause(); break;
        case KEY_N: advance_one_frame(); break;
        case KEY_TAB: session.fast_forward = true; break;
        default: press_key(key_symbol); break;
    }
    return true;
}

void act_on_key_up(int key_symbol) {
    if (key_symbol == KEY_TAB) session.fast_forward = false;
    release_key(key_symbol);
}

}  // namespace

const char* method_name() { return dynarec_chosen() ? "Dynarec" : "Interpretative"; }

void restart_cartridge() {
    Method method = cpu_method;
    console_reset();
    cpu_method = method;
}

bool handle_event(const ShellEvent& event) {
    switch (event.type) {
        case EVENT_KEY_DOWN: return act_on_key_down(event.key_symbol);
        case EVENT_KEY_UP: act_on_key_up(event.key_symbol); return true;
        case EVENT_QUIT: return false;
        default: return true;
    }
}

bool main_loop_iteration(ShellEvent (*poll_event)(), void (*lock_picture)()) {
    if (!handle_event(poll_event())) return false;
    if (session.paused && !session.advance) return true;
    session.advance = false;
    lock_picture();
    frame_run();
    session.frames_run++;
    return true;
}
