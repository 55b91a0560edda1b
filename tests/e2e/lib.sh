# Shared by the end-to-end scripts in scripts/xsession (and through wllib.sh in
# scripts/waylandsession): korvel, its diagnostics, fixtures, input and pixels.
set -eu
korvel="$KORVEL_BUILD/src/app/korvel"
tool="$KORVEL_BUILD/tests/e2e/korvel_e2etool"
fixture="$KORVEL_BUILD/tests/e2e/korvel_fixturewindow"
scrollfixture="$KORVEL_BUILD/tests/e2e/korvel_scrollfixture"
diag="$KORVEL_SESSION_DIR/diagnostics"
work="$KORVEL_SESSION_DIR/work"
document="$work/document.png"
conf="$XDG_CONFIG_HOME/Korvel/Korvel.conf"
mkdir -p "$diag" "$work"
korvel_pid="" fixture_pid="" pids=""
# What a script started goes with it; $on_exit names more to do.
trap 'kill $fixture_pid $pids 2>/dev/null || true; stop_korvel; ${on_exit:-:}' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() { [ "$1" = "$2" ] || fail "$3: '$1', expected '$2'"; } # got wanted what
# within SECONDS COMMAND…: succeeds once the command does, tried every $poll (0.1) seconds.
within() {
    i=$(awk "BEGIN { print int($1 / ${poll:-0.1}) }")
    shift
    until "$@" >/dev/null 2>&1; do
        i=$((i - 1))
        [ $i -gt 0 ] || return 1
        sleep "${poll:-0.1}"
    done
}
wait_for() { within "$@" || { shift; fail "timed out waiting for: $*"; }; }
# spawn COMMAND…: runs in the background until the script ends; $! is its id.
spawn() { "$@" & pids="$pids $!"; }
# settings LINE…: korvel's settings hold only these, from its next start.
settings() { mkdir -p "${conf%/*}" && printf '[General]\n' >"$conf" && printf '%s\n' "$@" >>"$conf"; }

# The tray icon: korvel's one visible window while nothing else is open. xdotool
# trips over windows that vanish while it lists them: the answer must be unique.
find_icon() {
    icon="$(xdotool search --onlyvisible --classname '^korvel$' 2>/dev/null)" || return 1
    [ -n "$icon" ] && [ "$(echo "$icon" | wc -l)" = 1 ]
}
# The last instance's controls go with it: none may be clicked where it drew them.
launch_korvel() {
    rm -f "$diag/widgets.txt"
    KORVEL_DIAGNOSTICS_DIR="$diag" "$korvel" "$@" &
    korvel_pid=$!
}
start_korvel() { launch_korvel "$@" && wait_for 10 find_icon; }
stop_korvel() {
    [ -n "$korvel_pid" ] || return 0
    kill "$korvel_pid" 2>/dev/null && kill -CONT "$korvel_pid" 2>/dev/null || true # a stopped one ends once resumed
    wait "$korvel_pid" 2>/dev/null || true
    korvel_pid=""
}
alive() { kill -0 "$korvel_pid" || fail "korvel exited"; }
# expect_term WHAT: SIGTERM, as at a logout, ends korvel within 5 s with status 0.
expect_term() {
    kill -TERM "$korvel_pid"
    within 5 sh -c "! kill -0 $korvel_pid" || fail "$1: korvel still runs"
    status=0
    wait "$korvel_pid" || status=$?
    korvel_pid=""
    expect_eq $status 0 "$1: exit status"
}

# Opens the tray menu; choose_menu_item N takes its item N (1 is "截图").
open_menu() {
    rm -f "$diag/menu.txt"
    xdotool mousemove --window "$icon" 5 5 click 3
    wait_for 5 test -s "$diag/menu.txt"
    sleep 0.3
}
choose_menu_item() { open_menu && xdotool key $(yes Down | head -n "$1") Return; }
expect_capture_item() { # the menu's first item
    open_menu
    expect_eq "$(head -1 "$diag/menu.txt")" "$1" "capture item"
    xdotool key Escape sleep 0.3
}
expect_alert() { wait_for 10 grep -qxF "$1" "$diag/alerts.txt"; }

overlays() { xdotool search --onlyvisible --name '^Korvel$' 2>/dev/null | wc -l; }
overlay_shown() { xdotool search --onlyvisible --name '^Korvel$' >/dev/null 2>&1; }
expect_closed() { wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Korvel\$'"; }
# A capture by the shortcut; returns once its overlays show.
begin_capture() {
    rm -f "$diag/captures.txt"
    xdotool key ctrl+1
    wait_for 10 test -s "$diag/captures.txt"
    wait_for 5 overlay_shown
    sleep 0.3
}
# Waits for a capture's overlays and ends it with Escape.
expect_capture() {
    wait_for 10 test -s "$diag/captures.txt"
    wait_for 10 overlay_shown
    xdotool sleep 0.3 key Escape
    expect_closed
    rm -f "$diag/captures.txt"
    sleep 0.3
}
# copy_window X Y WxH [SNAPSHOT X Y]: in a capture (begun if none is open), a
# click there in whole-window mode copies exactly the window's frozen pixels.
copy_window() {
    overlay_shown || begin_capture
    xdotool mousemove "$1" "$2" key space sleep 0.3 click 1 sleep 0.3 key Return
    shift 2
    expect_closed
    paste_png "$work/copy.png"
    expect_png "$work/copy.png" "$@"
}

# widget_at KIND NAME: the centre of the first visible, enabled widget of that kind
# ("button", "popup", "window", "label") and name; widgets.txt follows every 100 ms.
widget_at() {
    awk -F'\t' -v k="$1" -v n="$2" '$1 == k && $2 == n && $4 != "0" {
        split($3, g, " "); printf "%d %d\n", g[1] + g[3] / 2, g[2] + g[4] / 2; found = 1; exit }
        END { exit !found }' "$diag/widgets.txt" 2>/dev/null
}
has_widget() { widget_at "$1" "$2" >/dev/null; }
click_widget() {
    wait_for 10 has_widget "$1" "$2"
    click_at $(widget_at "$1" "$2")
}
on_screen() { grep -qF "$1" "$diag/widgets.txt"; }
off_screen() { ! on_screen "$1"; }
# shown TEXT: the label TEXT was on screen at some point since forget_shown.
shown() { grep -qxF "$1" "$diag/labels.txt" 2>/dev/null; }
forget_shown() { : >"$diag/labels.txt"; }
expect_shown() { # seconds text; a timeout names the last texts drawn
    within "$1" shown "$2" || fail "never shown: $2; last: $(tail -3 "$diag/labels.txt" | tr '\n' '|')"
}

# The first visible window named $1, once there is one.
named_window() {
    wait_for 20 sh -c "xdotool search --onlyvisible --name '^$1\$'"
    xdotool search --onlyvisible --name "^$1\$" | head -1
}
# The first visible window whose instance name is exactly $1.
visible_window() { xdotool search --onlyvisible --classname "^$1\$" 2>/dev/null | head -1; }
window_gone() { ! xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
# close_window TITLE: Escape into that window once it shows, every 5 s until it is gone.
close_window() {
    named_window "$1" >/dev/null
    i=0
    # A repeat comes late: one sent while a slow close is still under way
    # waits in korvel's queue and closes whatever takes the keyboard next.
    # Only the activation is timed: a key killed between press and release
    # stays held and repeats into every later window.
    until window_gone "$1"; do
        if [ $((i % 50)) = 0 ] && timeout 5 xdotool search --onlyvisible --name "^$1\$" \
            windowactivate --sync %1 >/dev/null 2>&1; then
            xdotool key Escape
        fi
        i=$((i + 1))
        [ $i -lt 200 ] || fail "$1 did not close"
        sleep 0.1
    done
}
# The outer frame and client of window $1: sets fx fy fw fh cx cy cw ch.
window_frame() {
    set -- $(xwininfo -id "$1" | sed -n 's/^ *\(Absolute upper-left [XY]\|Width\|Height\): *//p') \
        $(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ,) 0 0 0 0
    cx=$1 cy=$2 cw=$3 ch=$4 # the frame's extents: left, right, top, bottom
    fx=$((cx - $5)) fy=$((cy - $7)) fw=$((cw + $5 + $6)) fh=$((ch + $7 + $8))
}
# show_fixture X Y W H [SHADOW]: the four-colour fixture there; sets fixture_window and its frame.
show_fixture() {
    "$fixture" "$@" &
    fixture_pid="${fixture_pid:+$fixture_pid }$!"
    fixture_window="$(named_window "korvel-fixture${5:+-shadow}")"
    window_frame "$fixture_window"
}
# start_fixture [scrollfixture options…]: the scrolling document (in $document) replaces any
# before; sets fixture_window and cx cy. Under its 40-pixel header the document starts at 0.
start_fixture() {
    # The old window must be gone, or it passes for the new one.
    [ -z "$fixture_pid" ] || { kill $fixture_pid 2>/dev/null || true; wait_for 10 window_gone korvel-scroll; }
    "$scrollfixture" --write "$document" "$@" &
    fixture_pid=$!
    fixture_window="$(named_window korvel-scroll)"
    window_frame "$fixture_window"
}
# The fixture has the keyboard, as after the capture started.
fixture_focused() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$fixture_window" ]; }

# Pointer, keys, clipboard and pixels: wllib.sh has the same for Wayland.
click_at() { xdotool mousemove "$1" "$2" sleep 0.1 click "${3:-1}"; }
# hover X Y [SECONDS]: the pointer there, and time for the screen to follow.
hover() { xdotool mousemove "$1" "$2" sleep "${3:-0.5}"; }
drag() { # x0 y0 x1 y1
    xdotool mousemove "$1" "$2" mousedown 1 mousemove $(($1 + 40)) $(($2 + 40)) \
        mousemove "$3" "$4" sleep 0.1 mouseup 1
}
key() { xdotool key "$1"; }
paste_png() { xclip -selection clipboard -t image/png -o >"$1" || fail "no PNG on the clipboard"; }
png_size() { file -b "$1" | sed -n 's/.* \([0-9]*\) x \([0-9]*\),.*/\1x\2/p'; }
expect_pixel() { # x y colour what
    got="$("$tool" root-pixel "$1" "$2")"
    [ "$got" = "$3" ] || fail "$4: $got at $1,$2, expected $3"
}
# expect_png PNG WxH [WHOLE X Y]: the image has that size and equals WHOLE's
# pixels at (X, Y). KORVEL_E2E_KEEP=DIR keeps both images there.
expect_png() {
    [ $# -lt 5 ] || [ -z "${KORVEL_E2E_KEEP:-}" ] || { mkdir -p "$KORVEL_E2E_KEEP" && cp "$1" "$3" "$KORVEL_E2E_KEEP/"; }
    [ "$(png_size "$1")" = "$2" ] || fail "${1##*/} is $(png_size "$1"), expected $2"
    [ $# -lt 5 ] || "$tool" inside "$1" "$3" "$4" "$5" >/dev/null || fail "${1##*/} differs from ${3##*/} at $4,$5"
}
# copy_to PNG [KEY…]: the keys, then Return copies into PNG, in a capture that stays open.
copy_to() {
    f=$1
    shift
    for k in "$@" Return; do key "$k"; done
    sleep 0.3
    paste_png "$f"
}

ready_text="滚动原窗口，或点“自动滚动”。空格停止，Enter 复制，Esc 关闭。"
stopped_text="画面未变化，自动滚动已停止。可手动继续，或直接复制。"
# The dimensions label, e.g. "560 × 880 px".
dimensions_are() { grep -qP "^label\t\Q$1\E\t" "$diag/widgets.txt" 2>/dev/null; }
# start_long_capture X0 Y0 X1 Y1: a capture, a drag over that root rectangle,
# the editor's long capture action; returns once the first frame is in.
start_long_capture() {
    forget_shown
    begin_capture
    drag "$1" "$2" "$3" "$4"
    click_widget button "长截图"
    expect_shown 20 "$ready_text" # the first frame, from a stream under load
}
# The usual scene: a 560-row viewport on 2,400 rows, 60 rows a wheel click (more options
# after), long-captured at client columns 40…599, rows 80…479: document rows 40 and on.
start_usual_capture() {
    start_fixture --window 200,100,640,600 --length 2400 --step 60 "$@"
    [ -n "$korvel_pid" ] || start_korvel
    start_usual_region
}
start_usual_region() { start_long_capture $((cx + 40)) $((cy + 80)) $((cx + 600)) $((cy + 480)); }
# wheel N BUTTON: N clicks of the wheel (5 down, 4 up) over the fixture.
wheel() { xdotool mousemove $((cx + 320)) $((cy + 280)) click --repeat "$1" --delay 150 "$2"; }
# The long image on the clipboard, once the capture has closed.
paste_long_png() {
    wait_for 10 sh -c "! grep -qP '^window\tKorvel · 长截图\t' '$diag/widgets.txt'"
    paste_png "$1"
}
# expect_document_part PNG W H X Y: a W × H image equal to the document at (X, Y).
expect_document_part() { expect_png "$1" "${2}x$3" "$document" "$4" "$5"; }
