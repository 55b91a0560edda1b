# lib.sh for the Wayland scripts in scripts/waylandsession: korvel_wlpointer's pointer, wtype's
# keys, and grim, wl-paste and swaymsg as independent views.
. "$KORVEL_TESTS/lib.sh"

# The pointer reads a pipe held open for it; KWin has no wlroots virtual pointer.
pointer_log="$KORVEL_SESSION_DIR/pointer.log"
pointer_pipe="$KORVEL_SESSION_DIR/pointer.pipe"
if [ "${XDG_CURRENT_DESKTOP:-}" != KDE ]; then
    mkfifo "$pointer_pipe"
    "$KORVEL_BUILD/tests/e2e/korvel_wlpointer" "$pointer_log" <"$pointer_pipe" &
    pids="$pids $!"
    sleep 100000 >"$pointer_pipe" &
    pids="$pids $!"
    wait_for 5 grep -qx ready "$pointer_log"
    # A keyboard for the whole session, as a desk has. Each wtype brings its own and takes it
    # away: a client that binds the seat's keyboard only once one appears, and slowly, misses its keys.
    wtype -s 86400000 &
    pids="$pids $!"
fi
pointer_sent=0
# pointer COMMAND…: one per argument ("move 10 20" "down" …), taken by the compositor on return.
pointer() {
    printf '%s\n' "$@" >"$pointer_pipe"
    pointer_sent=$((pointer_sent + $#))
    wait_for 20 grep -qx "done $pointer_sent" "$pointer_log"
}
click_at() { pointer "move $1 $2" "sleep 100" "down" "sleep 30" "up"; }
drag() { # x0 y0 x1 y1
    pointer "move $1 $2" "down" "move $(($1 + 20)) $(($2 + 20))" "move $3 $4" "sleep 100" "up"
}
# The cursor is in every view of the screen: it is parked clear of what is compared.
park() { pointer "move 1500 900"; }
# key ctrl+shift+z: one key press with its modifiers held.
key() {
    mods="$(echo "$1" | sed 's/[^+]*$//; s/+/ /g')"
    wtype -s 150 $(for m in $mods; do echo -M $m; done) -k "${1##*+}" \
        $(for m in $mods; do echo -m $m; done)
}

# The windows sway shows under a title (a regular expression): "x y w h pid id fullscreen" a line.
sway_windows() { swaymsg -t get_tree | "$tool" sway-window "$1"; }
sway_window() { sway_windows "$1" | head -1 | grep .; }
no_window() { ! sway_window "$1"; }
sway_at() { sway_windows "$1" | grep -q "^$2 $3 ${4:+$4 $5 }"; } # title x y [w h]
place_window() { # title x y: moves a floating window there
    wait_for 10 sway_window "$1"
    swaymsg -q "[title=\"$1\"] move position $2 $3"
    wait_for 5 sway_at "$1" "$2" "$3"
}

tray_icon() {
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
        string:RegisteredStatusNotifierItems | grep -q '"'
}
# On sway its tray icon, drawn into the bar, must be there before grim's views.
start_korvel() {
    launch_korvel "$@"
    wait_for 10 sh -c "ls '$XDG_RUNTIME_DIR'/korvel-*.socket"
    [ "${XDG_CURRENT_DESKTOP:-}" = KDE ] || { wait_for 10 tray_icon; sleep 1; }
}
# No alerts at start-up unless a test asks for them.
quiet_start() { settings shortcutBindingHintShown=true "$@"; }
restart_korvel() { # setting…: only these
    stop_korvel
    quiet_start "$@"
    start_korvel
}
overlays_shown() { [ "$(sway_windows '^Korvel$' | awk '$7 == 1' | wc -l)" -ge "${1:-1}" ]; }
begin_capture() { # returns once every output ($1, default 2) has its overlay
    rm -f "$diag/captures.txt"
    "$korvel" --capture
    wait_for 10 test -s "$diag/captures.txt"
    wait_for 5 overlays_shown "${1:-2}"
    sleep 0.3
}
capture_closed() { ! overlays_shown 1; }

# The selection reaches the compositor a moment after the capture closes.
paste_png() { wait_for 5 sh -c "wl-paste -t image/png >'$1'"; }
grim_rect() { grim -g "$2,$3 $4x$5" "$1"; } # file x y w h
# same_pixels A B: two images of one size with equal pixels.
same_pixels() { [ "$(png_size "$1")" = "$(png_size "$2")" ] && "$tool" inside "$1" "$2" 0 0 >/dev/null; }
# grim_capture NAME X Y W H COMMAND…: a capture freezes both outputs as grim sees them, and
# COMMAND and Return copy exactly grim's view there (or save it, with collect="wait_for 10 test -s").
grim_capture() {
    park
    grim -o HEADLESS-1 "$work/output-1.png"
    grim -o HEADLESS-2 "$work/output-2.png"
    grim_rect "$work/$1-grim.png" "$2" "$3" "$4" "$5"
    begin_capture
    same_pixels "$diag/snapshot-0.png" "$work/output-1.png" || fail "$1: the first output's frozen image"
    same_pixels "$diag/snapshot-1.png" "$work/output-2.png" || fail "$1: the second output's frozen image"
    name=$1
    shift 5
    "$@"
    key Return
    wait_for 5 capture_closed
    ${collect:-paste_png} "$work/$name.png"
    same_pixels "$work/$name.png" "$work/$name-grim.png" ||
        fail "$name: the copy ($(png_size "$work/$name.png")) differs from grim's view"
}
# copy_drag X0 Y0 X1 Y1 NAME: the same for a drag.
copy_drag() { grim_capture "$5" "$1" "$2" $(($3 - $1)) $(($4 - $2)) drag "$1" "$2" "$3" "$4"; }

# stand_in KIND MODE: a fresh testportal.py in place of the last.
portal_log="$KORVEL_SESSION_DIR/testportal.log"
portal_pid=""
stand_in() {
    [ -z "$portal_pid" ] || { kill "$portal_pid"; wait "$portal_pid" 2>/dev/null || true; }
    rm -f "$portal_log"
    spawn /usr/bin/python3 "$KORVEL_TESTS/testportal.py" "$1" "$2" "$portal_log" \
        "$KORVEL_BUILD/tests/e2e/korvel_wlpointer"
    portal_pid=$!
    wait_for 10 grep -qx ready "$portal_log"
}

# --- Long captures: lib.sh's usual scrolling fixture afresh, at ($fixture_x or 200, 100) ---
usual_fixture() {
    [ -z "$fixture_pid" ] || { kill $fixture_pid 2>/dev/null || true; wait_for 10 no_window '^korvel-scroll$'; }
    "$scrollfixture" --write "$document" --window 200,100,640,600 --length 2400 --step 60 ${fixture_flags:-} &
    fixture_pid=$!
    cx=${fixture_x:-200} cy=100
    place_window '^korvel-scroll$' $cx $cy
}
wheel() { pointer "move $((cx + 320)) $((cy + 280))" "wheel $1"; } # notches down
wheel_to() { # dimensions: ten notches down by hand grow the long image to that
    wheel 10
    within 20 dimensions_are "$1" || fail "not $1 but $(grep -oP '^label\t\K\d+ × \d+ px' "$diag/widgets.txt")"
}
# The first output at scale 2, the usual fixture afresh on it, its document as the output shows it.
fixture_at_scale_2() {
    swaymsg -q output HEADLESS-1 mode 3840x2160 scale 2
    usual_fixture
    "$tool" enlarge "$document" 2 "$document"
}
# "x y" (as Qt sees it) of the long capture's panel holding visible button $1, then the
# button's centre from there.
panel_button() {
    awk -F'\t' -v n="$1" '$1 == "window" && $2 == "Korvel · 长截图" { w[++k] = $3 }
        $1 == "button" && $2 == n && $4 != "0" { b = $3 }
        END { split(b, g, " "); for (i = 1; i <= k; i++) { split(w[i], r, " ")
                  if (g[3] && g[1] >= r[1] && g[1] < r[1] + r[3] && g[2] >= r[2] && g[2] < r[2] + r[4]) {
                      print r[1], r[2], g[1] - r[1] + int(g[3] / 2), g[2] - r[2] + int(g[4] / 2); exit } }
              exit 1 }' "$diag/widgets.txt"
}
# Nothing places the panels with the portal backend, as on GNOME: sway gives the panel the keyboard.
focus_panel() { swaymsg -q '[title="^Korvel · 长截图$"] focus' && sleep 0.5; }
copy_long() { # name w h x y: Return copies W × H of the document at (X, Y)
    focus_panel
    key Return
    paste_long_png "$work/$1.png"
    expect_document_part "$work/$1.png" "$2" "$3" "$4" "$5"
}
