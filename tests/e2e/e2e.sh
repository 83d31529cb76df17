#!/bin/bash
# End-to-end tests of the real program: a private X server (Xvfb), the real
# build/quorrant in it, real key events (xdotool, through the XTEST
# extension, to the focused window), screenshots of the window (ImageMagick)
# and the program's exit status.
#
#   e2e.sh CASE BUILD_DIR SOURCE_DIR
#
# The file dialog and the message boxes are the program's own zenity layer.
# Most cases put a scripted `zenity` first on the PATH, which answers the file
# dialog from a list and records every message; one case drives the real
# zenity with the keyboard.
set -u

case_name=$1
build=$(cd "$2" && pwd)
source_dir=$(cd "$3" && pwd)
quorrant=$build/quorrant
runner=$build/quorrant-run
send_close=$build/tests/send_close
carts=$build/carts

work=$(mktemp -d /tmp/quorrant-e2e.XXXXXX)
xvfb_pid=
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL ($case_name): $*" >&2
    [ -f "$work/stderr" ] && sed 's/^/  program: /' "$work/stderr" | head -40 >&2
    exit 1
}

# --- the X server ---------------------------------------------------------
start_x() {
    exec 5>"$work/display"
    Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -1 "$work/display")"
}

# --- the scripted dialog ----------------------------------------------------
# answers: one line per file dialog, "CANCEL" for a cancelled one.
# messages: one line per message box, "TITLE|TEXT" ("-" when no title).
scripted_zenity() {
    mkdir -p "$work/bin"
    : >"$work/messages"
    cat >"$work/bin/zenity" <<EOF
#!/bin/bash
work="$work"
title=-
text=
for arg in "\$@"; do
    case "\$arg" in
        --title=*) title=\${arg#--title=} ;;
        --text=*) text=\${arg#--text=} ;;
    esac
done
case " \$* " in
    *" --file-selection "*)
        answer=\$(head -1 "\$work/answers")
        sed -i 1d "\$work/answers"
        [ "\$answer" = CANCEL ] && exit 1
        printf '%s\n' "\$answer"
        exit 0 ;;
    *" --error "*)
        echo "\$title|\$text" >>"\$work/messages"
        exit 0 ;;
esac
exit 2
EOF
    chmod +x "$work/bin/zenity"
    : >"$work/answers"
    export PATH="$work/bin:$PATH"
}

message_count() { wc -l <"$work/messages"; }

# --- the program ------------------------------------------------------------
# start_program [ARGS...]: starts quorrant, waits for its window.
start_program() {
    PATH="${program_path:-$PATH}" LSAN_OPTIONS="exitcode=0:log_path=$work/lsan" "$quorrant" "$@" \
        >"$work/stdout" 2>"$work/stderr" </dev/null &
    program_pid=$!
    window=
    for _ in $(seq 100); do
        window=$(xdotool search --name '^Quorrant$' 2>/dev/null | head -1)
        [ -n "$window" ] && break
        kill -0 "$program_pid" 2>/dev/null || fail "the program ended at start-up"
        sleep 0.1
    done
    [ -n "$window" ] || fail "no window titled Quorrant"
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    sleep 0.5
}

# stop_program: waits for the program to end, checks status 0 and that no
# memory allocated by Quorrant's own code leaked (system libraries loaded by
# SDL keep some of theirs until exit; those are not ours to free).
expect_exit_zero() {
    local status
    for _ in $(seq 100); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$program_pid" 2>/dev/null && fail "the program did not end"
    wait "$program_pid"
    status=$?
    program_pid=
    [ "$status" -eq 0 ] || fail "exit status $status"
    if ls "$work"/lsan.* >/dev/null 2>&1; then
        if grep -q -e "$source_dir" -e "$quorrant" "$work"/lsan.*; then
            cat "$work"/lsan.* >&2
            fail "memory leaked by Quorrant's own code"
        fi
    fi
}

expect_running() {
    sleep "${1:-0.5}"
    kill -0 "$program_pid" 2>/dev/null || fail "the program is no longer running"
    [ -n "$(xdotool search --name '^Quorrant$' 2>/dev/null)" ] || fail "the window is gone"
}

key() { xdotool key --delay 80 "$@"; }
hold() { xdotool keydown "$1"; sleep "$2"; xdotool keyup "$1"; }

# screenshot FILE: the window's picture, as PNG.
screenshot() { import -window "$window" "$1" 2>/dev/null || fail "no screenshot"; }

# differing_pixels A B: how many pixels differ between two pictures.
differing_pixels() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

window_size() { xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'; }

blank_image() { head -c 16 /dev/zero >"$work/blank.gba"; echo "$work/blank.gba"; }

# --- the cases ----------------------------------------------------------------
case_window() {
    start_x
    scripted_zenity
    start_program "$(blank_image)"
    [ "$(xdotool getwindowname "$window")" = Quorrant ] || fail "caption"
    [ "$(window_size)" = 240x160 ] || fail "window is $(window_size), not 240x160"
    screenshot "$work/shot.png"
    [ "$(identify -format %wx%h "$work/shot.png")" = 240x160 ] || fail "picture size"
    key F12
    expect_exit_zero
}

case_close_request() {
    start_x
    scripted_zenity
    start_program "$(blank_image)"
    "$send_close" "$window" || fail "cannot send the close request"
    expect_exit_zero
}

# No zenity and no terminal: the dialog counts as cancelled, the message goes
# to standard error, and the program runs on.
case_no_dialog() {
    start_x
    mkdir -p "$work/empty"
    program_path="$work/empty" start_program
    expect_running 1
    grep -q "Rom Error!" "$work/stderr" || fail "no Rom Error! on standard error"
    key F12
    expect_exit_zero
}

# F1 with the scripted dialog: every kind of failure shows "Rom Error!" with
# the title "Error", and the program runs on; a valid path loads.
case_f1_failures() {
    start_x
    scripted_zenity
    mkdir -p "$work/a-directory"
    long_path="/tmp/$(printf 'x%.0s' $(seq 251))"  # 256 characters
    {
        echo CANCEL
        echo "$work/missing.gba"
        echo "$work/a-directory"
        echo "$long_path"
        blank_image
    } >"$work/answers"
    start_program "$(blank_image)"
    for expected in 1 2 3 4; do
        key F1
        expect_running 0.7
        [ "$(message_count)" -eq "$expected" ] || fail "after F1 number $expected: $(cat "$work/messages")"
        [ "$(tail -1 "$work/messages")" = "Error|Rom Error!" ] || fail "message: $(tail -1 "$work/messages")"
    done
    key F1  # the valid path
    expect_running 0.7
    [ "$(message_count)" -eq 4 ] || fail "a valid load showed a message"
    key F12
    expect_exit_zero
}

# The real zenity: F1 opens its file dialog, the path is typed as a person
# would, and a failed load shows zenity's error box titled "Error".
case_real_zenity() {
    command -v zenity >/dev/null || fail "zenity is not installed"
    start_x
    start_program "$(blank_image)"
    key F1
    dialog_window=
    for _ in $(seq 100); do
        dialog_window=$(xdotool search --name 'Choose a cartridge' 2>/dev/null | head -1)
        [ -n "$dialog_window" ] && break
        sleep 0.1
    done
    [ -n "$dialog_window" ] || fail "no file dialog"
    sleep 3  # the dialog maps before it takes keys
    xdotool windowfocus --sync "$dialog_window" 2>/dev/null || true
    # An image larger than the largest cartridge: zenity returns it, the
    # load fails.
    truncate -s 33M "$work/too-large.gba"
    key ctrl+l
    xdotool type --delay 20 "$work/too-large.gba"
    sleep 1  # let the location bar settle before it is activated
    key Return
    error_window=
    for _ in $(seq 100); do
        error_window=$(xdotool search --name '^Error$' 2>/dev/null | head -1)
        [ -n "$error_window" ] && break
        sleep 0.1
    done
    [ -n "$error_window" ] || fail "no error box titled Error"
    sleep 0.5
    xdotool windowfocus --sync "$error_window" 2>/dev/null || true
    key Return
    expect_running 1
    grep -q "Quorrant: cannot load '$work/too-large.gba'" "$work/stderr" || fail "no reason on standard error"
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    key F12
    expect_exit_zero
}

declare -F "case_$case_name" >/dev/null || fail "no such case"
"case_$case_name"
echo "ok ($case_name)"
