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
#
# Frames run at the console's rate, but a loaded machine may drop some, so
# no check sleeps for a number of frames: every check waits (with a time
# limit) until the window shows what is expected. The demo cartridge helps:
# it lights a lamp at the bottom of the picture for every button it has
# seen held, so a key is released only once the cartridge has read it; and
# its title scene shows how many frames it has run, which demo_counter
# reads from a picture.
set -u

case_name=$1
build=$(cd "$2" && pwd)
source_dir=$(cd "$3" && pwd)
quorrant=$build/quorrant
runner=$build/quorrant-run
send_close=$build/tests/send_close
demo_counter=$build/tests/demo_counter
carts=$build/carts
demo=$source_dir/carts/demo/demo.gba

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
    if [ -f "$work/now.png" ] && [ -n "${E2E_KEEP:-}" ]; then
        cp "$work/now.png" "$E2E_KEEP" && echo "  last screenshot kept in $E2E_KEEP" >&2
    fi
    exit 1
}

# wait_until SECONDS COMMAND...: runs COMMAND until it succeeds; fails when
# SECONDS pass first. Stops early if the program under test has ended.
wait_until() {
    local limit=$((SECONDS + $1))
    shift
    while :; do
        "$@" && return 0
        if [ -n "$program_pid" ] && ! kill -0 "$program_pid" 2>/dev/null; then
            return 1
        fi
        [ "$SECONDS" -ge "$limit" ] && return 1
        sleep 0.1
    done
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
    DISPLAY=":$(head -1 "$work/display")"
    export DISPLAY
    # Under load a second server started beside this one has been seen to
    # take the same number and leave: use the display only once it answers.
    for _ in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    fail "Xvfb on $DISPLAY does not answer"
}

# --- the scripted dialog ----------------------------------------------------
# answers: one line per file dialog: a path, or "CANCEL" for a cancelled one.
# dialogs: one line per file dialog opened.
# messages: one line per message box, "TITLE|TEXT" ("-" when no title, and
#   a line break of TEXT written as \n).
scripted_zenity() {
    mkdir -p "$work/bin"
    : >"$work/messages"
    : >"$work/dialogs"
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
        echo open >>"\$work/dialogs"
        answer=\$(head -1 "\$work/answers")
        sed -i 1d "\$work/answers"
        [ "\$answer" = CANCEL ] && exit 1
        printf '%s\n' "\$answer"
        exit 0 ;;
    *" --error "*)
        text=\${text//\$'\\n'/\\\\n}
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
dialog_count() { wc -l <"$work/dialogs"; }
dialogs_opened() { [ "$(dialog_count)" -ge "$1" ]; }
messages_shown() { [ "$(message_count)" -ge "$1" ]; }

# --- the program ------------------------------------------------------------
# start_program [ARGS...]: starts quorrant, waits for its window.
launch_program() {
    PATH="${program_path:-$PATH}" LSAN_OPTIONS="exitcode=0:log_path=$work/lsan" "$quorrant" "$@" \
        >"$work/stdout" 2>"$work/stderr" </dev/null &
    program_pid=$!
}
start_program() {
    launch_program "$@"
    window=
    retried=
    for _ in $(seq 100); do
        window=$(xdotool search --name '^Quorrant( |$)' 2>/dev/null | head -1)
        [ -n "$window" ] && break
        if ! kill -0 "$program_pid" 2>/dev/null; then
            # On a heavily loaded machine the private server has been seen to
            # refuse a first connection that xdpyinfo had just made: one more
            # start, said on standard error, never more.
            if [ -z "$retried" ] && grep -q 'cannot open the window' "$work/stderr" && xdpyinfo >/dev/null 2>&1; then
                echo "e2e: the program could not open the window once; starting it again" >&2
                retried=1
                launch_program "$@"
            else
                fail "the program ended at start-up"
            fi
        fi
        sleep 0.1
    done
    [ -n "$window" ] || fail "no window titled Quorrant..."
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
    [ -n "$(xdotool search --name '^Quorrant( |$)' 2>/dev/null)" ] || fail "the window is gone"
}

key() { xdotool key --delay 80 "$@"; }
hold() { xdotool keydown "$1"; sleep "$2"; xdotool keyup "$1"; }

# screenshot FILE: the window's picture, as PNG.
screenshot() { import -window "$window" "$1" 2>/dev/null || fail "no screenshot"; }
shot() { screenshot "$work/now.png"; }

# differing_pixels A B: how many pixels differ between two pictures.
differing_pixels() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

window_size() { xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'; }

blank_image() { head -c 16 /dev/zero >"$work/blank.gba"; echo "$work/blank.gba"; }

# --- what the demo cartridge shows ---------------------------------------------
# Host colours of the demo's object palette (the screen keeps a console
# colour's five bits of red, green and blue as the top five bits of each
# 8-bit channel):
BALL_RED='#F87878'    # 0x3DFF, the centre of the ball in its first colour
BALL_GREEN='#78F878'  # 0x3FEF, after A once
BALL_BLUE='#7878F8'   # 0x7DEF, twice
BALL_YELLOW='#F8F878' # 0x3FFF, three times
ORBITER='#8080F8'     # 0x7E10, the rim of the orbiting diamonds
LIGHT_LIT='#F8F800'   # 0x03FF, the label of a lamp whose button is held
LIGHT_DIM='#606060'   # 0x318C, ...and of one whose button is not
# None of these occurs in the title scene's background.

# The lamps sit in a row of 8 x 8 cells at (4 + 12 n, 150), n the button's
# bit in the button word.
declare -A LIGHT=([x]=0 [z]=1 [s]=2 [a]=3 [Right]=4 [Left]=5 [Up]=6 [Down]=7 [w]=8 [q]=9)

# colour_count FILE COLOUR [GEOMETRY]: pixels of exactly COLOUR (in the region).
colour_count() {
    local crop=()
    [ $# -gt 2 ] && crop=(-crop "$3" +repage)
    convert "$1" "${crop[@]}" -fill black +opaque "$2" -fill white -opaque "$2" \
        -format '%[fx:round(mean*w*h)]' info:
}

# colour_box FILE COLOUR: the bounding box of COLOUR as "X Y W H", or nothing.
colour_box() {
    local box
    box=$(convert "$1" -fill black +opaque "$2" -format '%@' info: 2>/dev/null)
    case "$box" in
        0x0*) ;;
        *) echo "$box" | sed 's/[x+]/ /g' | awk '{print $3, $4, $1, $2}' ;;
    esac
}

all_black() { [ "$(identify -format '%[max]' "$1")" = 0 ]; }
picture_black() { shot && all_black "$work/now.png"; }

light_lit() { shot && [ "$(colour_count "$work/now.png" "$LIGHT_LIT" "8x8+$((4 + 12 * $1))+150")" -gt 0 ]; }
light_dim() {
    shot && [ "$(colour_count "$work/now.png" "$LIGHT_LIT" "8x8+$((4 + 12 * $1))+150")" -eq 0 ] &&
        [ "$(colour_count "$work/now.png" "$LIGHT_DIM" "8x8+$((4 + 12 * $1))+150")" -gt 0 ]
}

# press KEY: holds KEY until the demo lights its lamp (the cartridge has
# read the button), then releases it and waits for the lamp to go out.
press() {
    xdotool keydown "$1"
    wait_until 20 light_lit "${LIGHT[$1]}" || { xdotool keyup "$1"; fail "the lamp of $1 did not light"; }
    xdotool keyup "$1"
    wait_until 20 light_dim "${LIGHT[$1]}" || fail "the lamp of $1 stayed lit after release"
}

# Select hides every sprite, lamps included, as soon as it is seen: it is
# held until the picture is the title without sprites (quorrant-run's
# reference "still"). Pressed again, its own lamp shows it was seen.
hide_sprites() {
    xdotool keydown s
    wait_until 20 same_picture still ||
        { xdotool keyup s; fail "without sprites $(differing_pixels "$work/now-still.png" "$work/still-still.png") pixels differ from quorrant-run's picture ($1)"; }
    xdotool keyup s
}
show_sprites() { press s; }

# The ball starts at (116, 76) and its eight diamonds orbit it at a radius
# of 24: everything that moves on the title scene without a key lies in
# this square (x 92-147, y 52-107, with a margin), or in the digits of the
# frame counter at the bottom right.
ORBIT_SQUARE='rectangle 88,48 151,111'
COUNTER_DIGITS='rectangle 184,152 231,159'

# still FILE OUT: FILE without the counter's digits; masked FILE OUT:
# without the orbit square either.
still() { convert "$1" -fill black -draw "$COUNTER_DIGITS" "$2"; }
masked() { convert "$1" -fill black -draw "$ORBIT_SQUARE" -draw "$COUNTER_DIGITS" "$2"; }

# reference NAME [ARGS...]: quorrant-run's picture of the demo after 60
# frames (the title is drawn from about frame 20 on), with ARGS, as
# NAME.png, NAME-still.png and NAME-masked.png.
reference() {
    local name=$1
    shift
    "$runner" --frames 60 "$@" --png "$work/$name.png" "$demo" >/dev/null ||
        fail "quorrant-run could not draw the reference $name"
    still "$work/$name.png" "$work/$name-still.png"
    masked "$work/$name.png" "$work/$name-masked.png"
}

# same_picture NAME: the window shows exactly quorrant-run's picture, but
# for the counter.
same_picture() {
    shot && still "$work/now.png" "$work/now-still.png" &&
        [ "$(differing_pixels "$work/now-still.png" "$work/$1-still.png")" = 0 ]
}

# same_outside_orbit NAME: ...apart from the orbit square too.
same_outside_orbit() {
    shot && masked "$work/now.png" "$work/now-masked.png" &&
        [ "$(differing_pixels "$work/now-masked.png" "$work/$1-masked.png")" = 0 ]
}
not_title() {
    shot && masked "$work/now.png" "$work/now-masked.png" &&
        [ "$(differing_pixels "$work/now-masked.png" "$work/title-masked.png")" -gt 10000 ]
}

# counter_of FILE: the demo's frame counter in a picture of its title scene.
counter_of() { "$demo_counter" "$1" 2>/dev/null; }

# counter_at: the counter now and the time of the screenshot it was read
# from, "COUNT SECONDS".
counter_at() {
    local before after count
    before=$(date +%s.%N)
    shot
    after=$(date +%s.%N)
    count=$(counter_of "$work/now.png") || return 1
    awk -v c="$count" -v a="$before" -v b="$after" 'BEGIN { printf "%d %.3f\n", c, (a + b) / 2 }'
}

# frame_rate SECONDS: frames a second over about SECONDS, by the demo's
# own counter against the clock.
frame_rate() {
    local first last
    first=$(counter_at) || fail "no frame counter on the picture"
    sleep "$1"
    last=$(counter_at) || fail "no frame counter on the picture"
    echo "$first $last" | awk '{ printf "%.1f\n", ($3 - $1) / ($4 - $2) }'
}

# at_least A B / between A LOW HIGH: comparisons of decimal numbers.
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }
between() { awk -v a="$1" -v l="$2" -v h="$3" 'BEGIN { exit !(a >= l && a <= h) }'; }

title() { xdotool getwindowname "$window"; }
title_is() { [ "$(title)" = "$1" ]; }
title_matches() { title | grep -Eq "$1"; }
# speed_in_title: the speed figure the title shows, without its x.
speed_in_title() { title | sed -n 's/.* - \([0-9.]*\)x$/\1/p'; }
speed_shown_between() { local s; s=$(speed_in_title) && [ -n "$s" ] && between "$s" "$1" "$2"; }
counter_is() { [ "$(counter_now)" = "$1" ]; }
counter_now() { shot && counter_of "$work/now.png"; }
counter_above() { local c; c=$(counter_now) && [ "$c" -gt "$1" ]; }

wait_for_title() {
    wait_until 60 same_outside_orbit title ||
        fail "the title scene does not match quorrant-run's picture ($(differing_pixels "$work/now-masked.png" "$work/title-masked.png") pixels differ outside the orbit)"
}

ball_is() { shot && [ -n "$(colour_box "$work/now.png" "$1")" ]; }
ball_position() { shot && colour_box "$work/now.png" "$BALL_RED" | cut -d' ' -f1,2; }
# ball_seen: ball_position, waiting (up to 5 seconds) for a picture in
# which no orbiting diamond covers the ball's centre, as they can on a
# narrow orbit.
ball_seen() {
    local position
    for _ in $(seq 25); do
        position=$(ball_position)
        [ -n "$position" ] && break
        sleep 0.2
    done
    echo "$position"
}
# start_ball: where ball_position finds the ball on quorrant-run's title.
start_ball() { colour_box "$work/title.png" "$BALL_RED" | cut -d' ' -f1,2; }
orbit_width() { shot && colour_box "$work/now.png" "$ORBITER" | cut -d' ' -f3; }
orbit_wider_than() { local w; w=$(orbit_width) && [ -n "$w" ] && [ "$w" -gt "$1" ]; }
orbit_narrower_than() { local w; w=$(orbit_width) && [ -n "$w" ] && [ "$w" -lt "$1" ]; }
orbit_moves() {
    shot && cp "$work/now.png" "$work/before.png" && sleep 0.2 && shot &&
        [ "$(differing_pixels "$work/before.png" "$work/now.png")" -gt 0 ]
}

# ball_moved BEFORE AXIS SIGN: the ball is at least 8 pixels from BEFORE
# ("X Y") along AXIS (1 for x, 2 for y) in the direction of SIGN.
ball_moved() {
    local now a b
    now=$(ball_position) && [ -n "$now" ] || return 1
    a=$(echo "$1" | cut -d' ' -f"$2")
    b=$(echo "$now" | cut -d' ' -f"$2")
    [ $(($3 * (b - a))) -ge 8 ]
}

# move KEY AXIS SIGN: holds a direction key until the ball has moved 8
# pixels that way, releases it, and checks that the ball then stays put.
move() {
    local key=$1 axis=$2 sign=$3 before
    before=$(ball_seen)
    [ -n "$before" ] || fail "no ball before $key"
    xdotool keydown "$key"
    wait_until 20 ball_moved "$before" "$axis" "$sign" || { xdotool keyup "$key"; fail "holding $key did not move the ball ($before -> $(ball_position))"; }
    xdotool keyup "$key"
    wait_until 20 light_dim "${LIGHT[$key]}" || fail "the lamp of $key stayed lit"
    local rest
    rest=$(ball_seen)
    sleep 0.3
    [ "$(ball_seen)" = "$rest" ] || fail "the ball moved on after $key was released"
}

# The demo keeps its still picture and its moving parts: the orbit turns,
# Select hides every sprite (the picture is then exactly quorrant-run's),
# Select again shows them, a direction key moves the ball.
demo_behaves() {
    wait_until 20 orbit_moves || fail "the orbit stopped turning ($1)"
    hide_sprites "$1"
    show_sprites
    move Right 1 1
    move Left 1 -1
}

# --- the cases ----------------------------------------------------------------
case_window() {
    start_x
    scripted_zenity
    start_program "$(blank_image)"
    [ "$(window_size)" = 240x160 ] || fail "window is $(window_size), not 240x160"
    wait_until 10 title_matches '^Quorrant - blank.gba - Interpretative - [0-9]+\.[0-9]x$' ||
        fail "title '$(title)'"
    screenshot "$work/shot.png"
    [ "$(identify -format %wx%h "$work/shot.png")" = 240x160 ] || fail "picture size"
    key F12
    expect_exit_zero
}

# Started on the demo: the window, then the title scene as quorrant-run
# draws it. Outside the orbit square nothing moves, so the two agree to the
# pixel however many frames each has run; with Select the sprites are gone
# and the whole picture agrees. No pixel of tolerance is needed: both draw
# with the same renderers into the same 32-bit pixels, and a 24-bit X
# server keeps all of them.
case_demo_start() {
    start_x
    scripted_zenity
    reference title
    reference still --hold SELECT:40:41
    start_program "$demo"
    [ "$(window_size)" = 240x160 ] || fail "window is $(window_size), not 240x160"
    wait_for_title
    [ -n "${E2E_SCREENSHOTS:-}" ] && cp "$work/now.png" "$E2E_SCREENSHOTS/window-title.png"
    hide_sprites "at start-up"
    [ "$(message_count)" -eq 0 ] || fail "a message at start-up: $(cat "$work/messages")"
    key F12
    expect_exit_zero
}

# Every button of the demo, held through the real keyboard.
case_demo_buttons() {
    start_x
    scripted_zenity
    reference title
    reference still --hold SELECT:40:41
    start_program "$demo"
    wait_for_title
    # X (the console's A) steps the ball's colour round four colours.
    for colour in "$BALL_GREEN" "$BALL_BLUE" "$BALL_YELLOW" "$BALL_RED"; do
        press x
        wait_until 20 ball_is "$colour" || fail "A did not make the ball $colour"
    done
    # Z (B) lights its lamp; it only changes the speed of a move.
    press z
    # A (Start) steps through the five scenes and back to the title, which
    # is then quorrant-run's again.
    press a
    wait_until 20 not_title || fail "Start did not leave the title scene"
    [ -n "${E2E_SCREENSHOTS:-}" ] && cp "$work/now.png" "$E2E_SCREENSHOTS/window-plasma.png"
    for _ in 1 2 3 4; do press a; done
    wait_for_title
    # S (Select) hides every sprite and shows them again.
    hide_sprites "Select"
    show_sprites
    wait_until 20 ball_is "$BALL_RED" || fail "Select did not show the ball again"
    # W (R) widens the orbit to a radius of 48, Q (L) narrows it to 8.
    xdotool keydown w
    wait_until 20 orbit_wider_than 90 || { xdotool keyup w; fail "R did not widen the orbit ($(orbit_width))"; }
    xdotool keyup w
    wait_until 20 light_dim "${LIGHT[w]}" || fail "the lamp of R stayed lit"
    xdotool keydown q
    wait_until 20 orbit_narrower_than 30 || { xdotool keyup q; fail "L did not narrow the orbit ($(orbit_width))"; }
    xdotool keyup q
    wait_until 20 light_dim "${LIGHT[q]}" || fail "the lamp of L stayed lit"
    # The arrows move the ball, and it stops when they are released.
    move Right 1 1
    move Down 2 1
    [ -n "${E2E_SCREENSHOTS:-}" ] && cp "$work/now.png" "$E2E_SCREENSHOTS/window-moved.png"
    move Left 1 -1
    move Up 2 -1
    key F12
    expect_exit_zero
}

# F6 and F5 switch the method; the demo runs on exactly as before, whether
# the frame ended in its ARM code (waiting for v-blank on the title scene)
# or in its Thumb drawing loop (the plasma scene): the method runs both.
case_demo_methods() {
    start_x
    scripted_zenity
    reference title
    reference still --hold SELECT:40:41
    start_program "$demo"
    wait_for_title
    key F6
    demo_behaves "after F6"
    key F5
    demo_behaves "after F5"
    press a
    wait_until 20 not_title || fail "Start did not leave the title scene"
    key F6
    wait_until 20 orbit_moves || fail "the plasma scene stopped after F6"
    for _ in 1 2 3 4; do press a; done
    hide_sprites "back on the title after F6 in Thumb state"
    show_sprites
    key F5
    demo_behaves "after F6 in Thumb state and F5"
    key F12
    expect_exit_zero
}

# The window made larger through sdl12-compat's own settings (no option of
# Quorrant's): twice the size, each console pixel a 2 x 2 block, so that
# every other pixel of every other row is quorrant-run's picture.
halved_same_outside_orbit() {
    shot || return 1
    convert "$work/now.png" -sample 50% "$work/now-halved.png"
    masked "$work/now-halved.png" "$work/now-masked.png"
    [ "$(differing_pixels "$work/now-masked.png" "$work/title-masked.png")" = 0 ]
}
case_scaled_window() {
    start_x
    scripted_zenity
    reference title
    SDL12COMPAT_WINDOW_SCALING=2 SDL12COMPAT_SCALE_METHOD=nearest start_program "$demo"
    [ "$(window_size)" = 480x320 ] || fail "the scaled window is $(window_size), not 480x320"
    wait_until 60 halved_same_outside_orbit ||
        fail "the scaled title differs from quorrant-run's picture"
    [ -n "${E2E_SCREENSHOTS:-}" ] && cp "$work/now.png" "$E2E_SCREENSHOTS/window-scaled.png"
    key F12
    expect_exit_zero
}

case_close_request() {
    start_x
    scripted_zenity
    reference title
    start_program "$demo"
    wait_for_title
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
    grep -q "^Quorrant: cannot ask for a cartridge: zenity is missing" "$work/stderr" ||
        fail "no reason on standard error"
    shot
    all_black "$work/now.png" || fail "the picture is not black without a cartridge"
    key F12
    expect_exit_zero
}

# No display at all: the window cannot open; one line on standard error
# says so and the program ends with a failure status.
case_no_display() {
    local status
    env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 30 "$quorrant" "$demo" \
        >"$work/stdout" 2>"$work/stderr" </dev/null
    status=$?
    [ "$status" -ne 124 ] || fail "the program ran on without a display"
    [ "$status" -ne 0 ] || fail "status 0 without a display"
    grep -q "^Quorrant: cannot open the window" "$work/stderr" || fail "no reason on standard error"
}

# --help and -h: the usage with every key on standard output, status 0, no
# window. Two images or an unknown option: the usage on standard error,
# status 2.
case_usage() {
    local status flag
    for flag in --help -h; do
        env -u DISPLAY "$quorrant" "$flag" >"$work/stdout" 2>"$work/stderr" </dev/null
        status=$?
        [ "$status" -eq 0 ] || fail "status $status for $flag"
        [ -s "$work/stderr" ] && fail "$flag wrote to standard error: $(cat "$work/stderr")"
        grep -q "^usage: quorrant \[IMAGE\]" "$work/stdout" || fail "no usage line for $flag"
        for key in "X, Z" "A, S" "arrow keys" "Q, W" Tab P N F1 F2 F3 "F5, F6" F12; do
            grep -q "^  $key  " "$work/stdout" || fail "$flag does not name the key $key"
        done
    done
    env -u DISPLAY "$quorrant" "$demo" "$demo" >"$work/stdout" 2>"$work/stderr" </dev/null
    status=$?
    [ "$status" -eq 2 ] || fail "status $status for two images"
    grep -q "^usage: quorrant \[IMAGE\]" "$work/stderr" || fail "no usage line for two images"
    for flag in -x --bogus -; do
        env -u DISPLAY "$quorrant" "$flag" >"$work/stdout" 2>"$work/stderr" </dev/null
        status=$?
        [ "$status" -eq 2 ] || fail "status $status for $flag"
        grep -q "^Quorrant: unknown option '$flag'" "$work/stderr" || fail "no refusal of $flag"
        grep -q "^usage: quorrant \[IMAGE\]" "$work/stderr" || fail "no usage line for $flag"
    done
}

# F1 on the demo with a running game: a cancel changes nothing, a failed
# load shows the two-line box and the game goes on where it was (paused,
# the picture stays exactly as it was; running, the ball stays where it was
# moved and the frame counter goes on); a valid path loads the other
# cartridge, and the demo again starts afresh.
f1_with_answer() {
    echo "$1" >"$work/answers"
    local dialogs
    dialogs=$(dialog_count)
    key F1
    wait_until 20 dialogs_opened $((dialogs + 1)) || fail "F1 opened no dialog"
}
case_f1_failures() {
    start_x
    scripted_zenity
    reference title
    start_program "$demo"
    wait_for_title
    # Up and to the left, away from the frame counter at the bottom right.
    move Left 1 -1
    move Up 2 -1
    local ball frame
    ball=$(ball_seen)
    key p
    wait_until 10 title_matches ' - paused$' || fail "P did not pause ($(title))"
    screenshot "$work/paused.png"

    f1_with_answer CANCEL
    sleep 0.5
    same_picture_as paused || fail "the picture changed after a cancel"
    [ "$(message_count)" -eq 0 ] || fail "a message after a cancel: $(cat "$work/messages")"

    mkdir -p "$work/a-directory"
    local long_path expected=0 reason path
    long_path="/tmp/$(printf 'x%.0s' $(seq 251))" # 256 characters
    for case in "$work/missing.gba|no such file" "$work/a-directory|not a regular file" \
        "$long_path|the path is longer than 255 characters"; do
        path=${case%|*}
        reason=${case#*|}
        f1_with_answer "$path"
        expected=$((expected + 1))
        wait_until 20 messages_shown "$expected" || fail "no message for $path"
        [ "$(tail -1 "$work/messages")" = "Error|Rom Error!\\n$reason" ] ||
            fail "message: $(tail -1 "$work/messages")"
        grep -qF "Quorrant: cannot load '$path': $reason" "$work/stderr" ||
            fail "no '$reason' on standard error"
        same_picture_as paused || fail "the picture changed after a failed load of $path"
    done

    frame=$(counter_of "$work/paused.png") || fail "no counter on the paused picture"
    key p
    wait_until 10 counter_above "$frame" || fail "the game did not go on after the failures"
    [ "$(ball_seen)" = "$ball" ] || fail "the ball moved from $ball to $(ball_position)"
    frame=$(counter_now)
    f1_with_answer CANCEL
    wait_until 10 counter_above "$frame" || fail "the game did not go on after a cancel"
    [ "$(ball_seen)" = "$ball" ] || fail "the ball moved from $ball to $(ball_position) after a cancel"
    [ "$(message_count)" -eq "$expected" ] || fail "a message after a cancel: $(tail -1 "$work/messages")"

    # A valid path: smoke.gba draws nothing, so the picture goes black and
    # stays black; then the demo again, from its start.
    f1_with_answer "$carts/smoke.gba"
    wait_until 20 picture_black || fail "the other cartridge did not replace the demo"
    wait_until 10 title_matches '^Quorrant - smoke.gba - ' || fail "title '$(title)'"
    f1_with_answer "$demo"
    wait_for_title
    [ "$(ball_seen)" = "$(start_ball)" ] || fail "the demo did not start afresh (ball at $(ball_position))"
    [ "$(message_count)" -eq "$expected" ] || fail "a valid load showed a message: $(tail -1 "$work/messages")"
    key F12
    expect_exit_zero
}

# same_picture_as NAME: the window shows exactly $work/NAME.png.
same_picture_as() { shot && [ "$(differing_pixels "$work/now.png" "$work/$1.png")" = 0 ]; }

# How fast this build runs the demo on this machine right now, in frames a
# second, headless. A sanitizer build on a loaded machine may not reach the
# console's rate at all: then only the upper bounds below can be checked,
# and the lower ones are scaled to what the host can do.
host_capacity() {
    "$runner" --frames 120 --stats "$demo" | awk '/^fps / { print $2 }'
}
# paced_enough RATE CAPACITY: RATE is the console's, give or take what a
# busy machine drops; never above it.
paced_enough() {
    awk -v r="$1" -v c="$2" 'BEGIN { low = c >= 90 ? 50 : c / 2; exit !(r <= 61.5 && r >= low) }'
}

# Paced: the demo's counter runs at the console's 59.73 frames a second
# (a loaded machine may drop a few, none may be added), and the title says
# 1.0x or a little less.
case_paced() {
    start_x
    scripted_zenity
    reference title
    start_program "$demo"
    wait_for_title
    local rate capacity
    rate=$(frame_rate 5)
    capacity=$(host_capacity)
    paced_enough "$rate" "$capacity" ||
        fail "paced at $rate frames a second (the host runs $capacity unpaced)"
    wait_until 5 speed_shown_between 0 1.05 || fail "title '$(title)'"
    if at_least "$capacity" 90; then
        wait_until 5 speed_shown_between 0.8 1.05 || fail "title '$(title)'"
    fi
    key F12
    expect_exit_zero
}

# Tab held: faster than paced, the title showing the figure; released: back
# to the console's rate with no burst of frames to catch up.
case_fast_forward() {
    start_x
    scripted_zenity
    reference title
    start_program "$demo"
    wait_for_title
    local fast after shown capacity
    xdotool keydown Tab
    sleep 1
    fast=$(frame_rate 3)
    shown=$(speed_in_title)
    xdotool keyup Tab
    sleep 0.5
    after=$(frame_rate 3)
    capacity=$(host_capacity)
    if at_least "$capacity" 120; then
        at_least "$fast" 75 || fail "fast-forward ran $fast frames a second (the host runs $capacity)"
        { [ -n "$shown" ] && at_least "$shown" 1.25; } || fail "title '$(title)' while Tab was held"
    else
        echo "note: the host runs $capacity frames a second: fast-forward only checked against half that"
        at_least "$fast" "$(awk -v c="$capacity" 'BEGIN { print c / 2 }')" ||
            fail "fast-forward ran $fast frames a second (the host runs $capacity)"
    fi
    paced_enough "$after" "$capacity" || fail "after Tab: $after frames a second"
    key F12
    expect_exit_zero
}

# P holds the picture; N advances exactly one frame each time; P again
# resumes at the console's rate.
case_pause() {
    start_x
    scripted_zenity
    reference title
    start_program "$demo"
    wait_for_title
    key p
    wait_until 10 title_is "Quorrant - demo.gba - Interpretative - paused" || fail "title '$(title)'"
    sleep 0.3
    screenshot "$work/paused.png"
    local frame step
    frame=$(counter_of "$work/paused.png") || fail "no counter on the paused picture"
    sleep 1
    same_picture_as paused || fail "the picture moved while paused"
    for step in 1 2 3; do
        key n
        wait_until 10 counter_is $((frame + step)) || fail "N number $step: counter $(counter_now), not $((frame + step))"
        sleep 0.5
        counter_is $((frame + step)) || fail "N number $step ran more than one frame ($(counter_now))"
    done
    key p
    wait_until 10 counter_above $((frame + 30)) || fail "P did not resume"
    wait_until 5 speed_shown_between 0 1.05 || fail "title '$(title)' after resuming"
    key F12
    expect_exit_zero
}

# F2 restarts the demo from its start, from any scene.
case_restart() {
    start_x
    scripted_zenity
    reference title
    start_program "$demo"
    wait_for_title
    move Left 1 -1
    wait_until 20 counter_above 200 || fail "the counter did not reach 200"
    press a
    wait_until 20 not_title || fail "Start did not leave the title scene"
    key F2
    wait_for_title
    [ "$(ball_seen)" = "$(start_ball)" ] || fail "the ball is at $(ball_position) after F2"
    local frame
    frame=$(counter_now)
    { [ -n "$frame" ] && [ "$frame" -lt 150 ]; } || fail "the counter reads '$frame' after F2"
    key F12
    expect_exit_zero
}

# The title names the method: F6 and F5 on a cartridge in ARM state (a
# one-instruction loop), F2 keeping it; in Thumb state the same.
arm_loop_image() {
    printf '\376\377\377\352' >"$work/arm-loop.gba" # B .
    echo "$work/arm-loop.gba"
}
thumb_image() {
    # ADD r0, pc, #1; BX r0; then Thumb: B . at 0x08000008
    printf '\001\000\217\342\020\377\057\341\376\347\000\000' >"$work/thumb.gba"
    echo "$work/thumb.gba"
}
case_method_title() {
    start_x
    scripted_zenity
    start_program "$(arm_loop_image)"
    wait_until 10 title_matches '^Quorrant - arm-loop.gba - Interpretative' || fail "title '$(title)'"
    key F6
    wait_until 10 title_matches '^Quorrant - arm-loop.gba - Dynarec - ' || fail "after F6: '$(title)'"
    key F2
    sleep 0.5
    title_matches '^Quorrant - arm-loop.gba - Dynarec - ' || fail "after F2: '$(title)'"
    key F5
    wait_until 10 title_matches '^Quorrant - arm-loop.gba - Interpretative - ' || fail "after F5: '$(title)'"
    key F12
    expect_exit_zero

    start_program "$(thumb_image)"
    wait_until 10 title_matches '^Quorrant - thumb.gba - Interpretative - ' || fail "title '$(title)'"
    key F6
    wait_until 10 title_matches '^Quorrant - thumb.gba - Dynarec - ' || fail "F6 in Thumb state: '$(title)'"
    key F5
    wait_until 10 title_matches '^Quorrant - thumb.gba - Interpretative - ' || fail "F5 in Thumb state: '$(title)'"
    key F12
    expect_exit_zero
}

screenshots_saved() { [ "$(grep -c '^Quorrant: screenshot saved as ' "$work/stderr")" -eq "$1" ]; }

# F3 while paused: a PNG named after the time in the current folder, one
# line on standard error naming it, the same picture as the window's and
# byte for byte quorrant-run's --png of the same frame. A second F3 never
# overwrites the first; a folder that is gone gives a clear line.
case_screenshot() {
    start_x
    scripted_zenity
    reference title
    mkdir "$work/shots"
    cd "$work/shots" || fail "no folder for the screenshots"
    start_program "$demo"
    wait_for_title
    key p
    wait_until 10 title_matches ' - paused$' || fail "P did not pause"
    key F3
    wait_until 10 grep -q '^Quorrant: screenshot saved as ' "$work/stderr" || fail "no line for F3"
    local name
    name=$(sed -n 's/^Quorrant: screenshot saved as //p' "$work/stderr" | head -1)
    echo "$name" | grep -Eq '^quorrant-[0-9]{8}-[0-9]{6}\.png$' || fail "screenshot named '$name'"
    [ -f "$work/shots/$name" ] || fail "no file $name"
    shot
    [ "$(differing_pixels "$work/now.png" "$work/shots/$name")" = 0 ] ||
        fail "the screenshot differs from the window"
    # The frame: the counter on the picture, against the one quorrant-run
    # shows after a known number of frames.
    local frame known shown_at_known
    frame=$(counter_of "$work/shots/$name") || fail "no counter on the screenshot"
    known=100
    "$runner" --frames "$known" --png "$work/known.png" "$demo" || fail "quorrant-run failed"
    shown_at_known=$(counter_of "$work/known.png") || fail "no counter on quorrant-run's picture"
    "$runner" --frames $((frame + known - shown_at_known)) --png "$work/same-frame.png" "$demo" ||
        fail "quorrant-run failed"
    cmp -s "$work/shots/$name" "$work/same-frame.png" ||
        fail "the screenshot differs from quorrant-run's picture of frame $((frame + known - shown_at_known))"
    key F3
    wait_until 10 screenshots_saved 2 || fail "no line for the second F3"
    [ "$(find "$work/shots" -name 'quorrant-*.png' | wc -l)" -eq 2 ] ||
        fail "the second screenshot replaced the first"
    cmp -s "$work/shots"/* || fail "two screenshots of one paused picture differ"
    rm -rf "$work/shots"
    key F3
    wait_until 10 grep -q "^Quorrant: cannot save the screenshot 'quorrant-.*\.png': No such file or directory" \
        "$work/stderr" || fail "no line for a screenshot that cannot be written"
    expect_running 0.3
    cd "$work" || fail "no work folder"
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
    sleep 3 # the dialog maps before it takes keys
    xdotool windowfocus --sync "$dialog_window" 2>/dev/null || true
    # An image larger than the largest cartridge: zenity returns it, the
    # load fails.
    truncate -s 33M "$work/too-large.gba"
    key ctrl+l
    xdotool type --delay 20 "$work/too-large.gba"
    sleep 1 # let the location bar settle before it is activated
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
