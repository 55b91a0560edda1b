# Shared by the Wayland end-to-end scripts, which run inside
# scripts/waylandsession: the same helpers as lib.sh, with the pointer of
# korvel_wlpointer, keys through wtype and independent views through grim,
# wl-paste and swaymsg.
. "$KORVEL_TESTS/lib.sh"
cleanup_wayland() {
    kill $fixture_pid $pids 2>/dev/null || true
    stop_korvel
}

# The pointer takes one command a line through a pipe held open for it.
pointer_log="$KORVEL_SESSION_DIR/pointer.log"
pointer_pipe="$KORVEL_SESSION_DIR/pointer.pipe"
# KWin has no wlroots virtual pointer: its tests go without.
if [ "${XDG_CURRENT_DESKTOP:-}" != KDE ]; then
    mkfifo "$pointer_pipe"
    "$KORVEL_BUILD/tests/e2e/korvel_wlpointer" "$pointer_log" <"$pointer_pipe" &
    pids="$pids $!"
    sleep 100000 >"$pointer_pipe" &
    pids="$pids $!"
    wait_for 5 grep -qx ready "$pointer_log"
fi
pointer_sent=0
# pointer COMMAND…: one command per argument ("move 10 20" "down" …); returns
# once the compositor has taken them.
pointer() {
    for command in "$@"; do
        echo "$command" >"$pointer_pipe"
        pointer_sent=$((pointer_sent + 1))
    done
    wait_for 20 grep -qx "done $pointer_sent" "$pointer_log"
}
click_at() { pointer "move $1 $2" "sleep 100" "click ${3:-1}"; }
drag() { # x0 y0 x1 y1
    pointer "move $1 $2" "down" "move $(($1 + 20)) $(($2 + 20))" "move $3 $4" "sleep 100" "up"
}

# key ctrl+shift+z: one key press with its modifiers held.
key() {
    set -- $(echo "$1" | tr '+' ' ')
    args="-s 150"
    release=""
    while [ $# -gt 1 ]; do
        args="$args -M $1"
        release="$release -m $1"
        shift
    done
    wtype $args -k "$1" $release
}
type_text() { wtype -s 150 -d 5 "$1"; }

# The windows sway shows under a title (a regular expression), one a line:
# "x y w h pid id fullscreen"; sway_window gives the first.
sway_windows() { swaymsg -t get_tree | "$tool" sway-window "$1"; }
sway_window() { sway_windows "$1" | head -1 | grep .; }
# place_window TITLE X Y: moves a floating window there.
place_window() {
    wait_for 10 sway_window "$1"
    swaymsg -q "[title=\"$1\"] move position $2 $3"
    wait_for 5 sh -c "swaymsg -t get_tree | '$tool' sway-window '$1' | grep -q '^$2 $3 '"
}

start_korvel() {
    launch_korvel "$@"
    wait_for 10 sh -c "ls '$XDG_RUNTIME_DIR'/korvel-*.socket"
}
# No alerts at start-up unless a test asks for them.
quiet_start() { settings shortcutBindingHintShown=true "$@"; }
overlays_shown() {
    [ "$(sway_windows '^Korvel$' | awk '$7 == 1' | wc -l)" -ge "${1:-1}" ]
}
begin_capture() { # returns once every output ($1, default 2) has its overlay
    rm -f "$diag/captures.txt"
    "$korvel" --capture
    wait_for 10 test -s "$diag/captures.txt"
    wait_for 5 overlays_shown "${1:-2}"
    sleep 0.3
}
capture_closed() { ! overlays_shown 1; }

# The selection reaches the compositor a moment after the capture closes,
# later on a busy machine.
paste_png() {
    i=0
    until wl-paste -t image/png >"$1" 2>/dev/null; do
        i=$((i + 1))
        [ $i -lt 50 ] || fail "no PNG on the clipboard"
        sleep 0.1
    done
}
# grim_rect FILE X Y W H: the screen there as grim sees it.
grim_rect() { grim -g "$2,$3 $4x$5" "$1"; }
# same_pixels A B: two PNG images of one size with equal pixels.
same_pixels() {
    [ "$(png_size "$1")" = "$(png_size "$2")" ] && "$tool" inside "$1" "$2" 0 0 >/dev/null
}

# The scrolling fixture is placed through sway, at (200,100) unless the caller
# places it again, and the wheel is the virtual pointer's.
start_fixture() {
    [ -z "$fixture_pid" ] || { kill $fixture_pid 2>/dev/null || true; wait $fixture_pid 2>/dev/null || true; }
    "$scrollfixture" --write "$document" "$@" &
    fixture_pid=$!
    place_window '^korvel-scroll$' 200 100
    cx=200 cy=100
}
wheel() { pointer "move $((cx + 320)) $((cy + 280))" "wheel $([ "$2" = 5 ] || printf -)$1"; }
# The first output at scale 2 in the same layout, the usual fixture started
# afresh on it, and its document at twice the size, as the output's own
# pixels show it.
fixture_at_scale_2() {
    swaymsg -q output HEADLESS-1 mode 3840x2160 scale 2
    start_fixture --window 200,100,640,600 --length 2400 --step 60
    "$tool" enlarge "$document" 2 "$document"
}
