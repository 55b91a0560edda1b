# Helpers of the long capture tests; sourced after lib.sh.
# The fixture's document is stored as PNG, so a copied long image can be
# checked pixel for pixel against the rows and columns it must show.
scrollfixture="$KORVEL_BUILD/tests/e2e/korvel_scrollfixture"
work="$KORVEL_SESSION_DIR/long"
mkdir -p "$work"
document="$work/document.png"
fixture_pid=""
korvel_pid=""
trap 'kill $fixture_pid 2>/dev/null || true; stop_korvel; ${on_exit:-:}' EXIT

# start_fixture [scrollfixture options…]: sets cx cy (the client's origin) and
# fixture_window. The fixture's header is 40 pixels tall; its viewport below
# shows the document from row (or column) 0.
start_fixture() {
    "$scrollfixture" --write "$document" "$@" &
    fixture_pid=$!
    wait_for 20 sh -c "xdotool search --onlyvisible --name '^korvel-scroll\$'"
    fixture_window="$(xdotool search --onlyvisible --name '^korvel-scroll$' | head -1)"
    set -- $("$tool" frame "$fixture_window")
    cx=$5 cy=$6
}

control_panel_shown() { has_widget window "Korvel · 长截图"; }

# shown TEXT: the label TEXT was on screen at some point since the last reset.
shown() { grep -qxF "$1" "$diag/labels.txt" 2>/dev/null; }
expect_shown() { # seconds text
    tries=$(($1 * 10))
    until shown "$2"; do
        tries=$((tries - 1))
        if [ $tries -le 0 ]; then
            tail -4 "$diag/labels.txt" >&2
            fail "timed out waiting for the label: $2"
        fi
        sleep 0.1
    done
}
forget_shown() { : >"$diag/labels.txt"; }
# The dimensions label, e.g. "560 × 880 px".
dimensions_are() { grep -qP "^label\t\Q$1\E\t" "$diag/widgets.txt" 2>/dev/null; }

ready_text="滚动原窗口，或点“自动滚动”。空格停止，Enter 复制，Esc 关闭。"

# start_long_capture X0 Y0 X1 Y1: a capture, a drag over that root rectangle,
# the editor's long capture action; returns once the first frame is in.
start_long_capture() {
    forget_shown
    begin_capture
    drag "$1" "$2" "$3" "$4"
    click_widget button "长截图"
    expect_shown 10 "$ready_text"
}

# The usual scene: a 560-row viewport on 2,400 rows, 60 rows per wheel click
# (extra fixture options after), and a long capture of client columns
# 40…599, rows 80…479: document rows 40 and on at the start.
start_usual_capture() {
    start_fixture --window 200,100,640,600 --length 2400 --step 60 "$@"
    start_korvel
    start_usual_region
}
start_usual_region() { start_long_capture $((cx + 40)) $((cy + 80)) $((cx + 600)) $((cy + 480)); }

# wheel N BUTTON: N clicks of the wheel (5 down, 4 up) over the fixture.
wheel() { xdotool mousemove $((cx + 320)) $((cy + 280)) click --repeat "$1" --delay 150 "$2"; }

# On sway (after wllib.sh) the fixture is placed through sway, at (200,100)
# unless the caller places it again, and the wheel is the virtual pointer's.
if command -v place_window >/dev/null; then
    start_fixture() {
        "$scrollfixture" --write "$document" "$@" &
        fixture_pid=$!
        place_window '^korvel-scroll$' 200 100
        cx=200 cy=100
    }
    wheel() { pointer "move $((cx + 320)) $((cy + 280))" "wheel $([ "$2" = 5 ] || printf -)$1"; }
    # The first output at scale 2 in the same layout, the usual fixture
    # started afresh on it, and its document at twice the size, as the
    # output's own pixels show it.
    fixture_at_scale_2() {
        kill "$fixture_pid"
        wait "$fixture_pid" 2>/dev/null || true
        swaymsg -q output HEADLESS-1 mode 3840x2160 scale 2
        start_fixture --window 200,100,640,600 --length 2400 --step 60
        "$tool" enlarge "$document" 2 "$document"
    }
fi

# The long image on the clipboard, once the capture has closed.
paste_long_png() {
    wait_for 10 sh -c "! grep -qP '^window\tKorvel · 长截图\t' '$diag/widgets.txt'"
    paste_png "$1"
}

# expect_document_part PNG W H X Y: the image is W × H and equals the
# document's pixels at (X, Y).
# With KORVEL_E2E_KEEP naming a folder, a mismatching image and the document
# are kept there for inspection.
expect_document_part() {
    if [ -n "${KORVEL_E2E_KEEP:-}" ]; then
        mkdir -p "$KORVEL_E2E_KEEP" && cp "$1" "$document" "$KORVEL_E2E_KEEP/"
    fi
    [ "$(png_size "$1")" = "${2}x${3}" ] || fail "the long image is $(png_size "$1"), expected ${2}x${3}"
    "$tool" inside "$1" "$document" "$4" "$5" >/dev/null \
        || fail "the long image differs from the document at $4,$5"
}

# The fixture has the keyboard, as after the capture started.
fixture_focused() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$fixture_window" ]; }
