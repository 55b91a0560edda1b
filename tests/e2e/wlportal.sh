# Korvel's portal backend (KORVEL_PLATFORM=portal) on headless sway with
# xdg-desktop-portal-wlr: a capture freezes both outputs through the
# Screenshot portal exactly as grim sees them, and a drag copies exactly the
# pixels under it. A long capture streams the output through the ScreenCast
# portal and PipeWire: ten wheel notches by hand give 600 new rows, and Return
# in the panel copies exactly the document's pixels, also on an output of scale
# 2; without a remote-desktop portal the panel offers no automatic scrolling
# and says why. On a stand-in portal that adds RemoteDesktop, the long capture offers it, asks for a
# pointer and the screen of the same session, posts its wheel steps at the
# region down to the document's end, and copies exactly the document's pixels;
# refused, the panel says why.
. "$KORVEL_TESTS/wllib.sh"
"$fixture" 0 0 600 400 &
fixture_pid=$!
place_window '^korvel-fixture$' 200 150

quiet_start
KORVEL_PLATFORM=portal start_korvel
park() { pointer "move 1500 900"; }
# Its tray icon, drawn into the bar, must be there before grim's views.
wait_for 10 sh -c "dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher \
    /StatusNotifierWatcher org.freedesktop.DBus.Properties.Get \
    string:org.kde.StatusNotifierWatcher string:RegisteredStatusNotifierItems | grep -q '\"'"
sleep 1

park
grim -o HEADLESS-1 "$work/output-1.png"
grim -o HEADLESS-2 "$work/output-2.png"
grim_rect "$work/drag-grim.png" 150 100 300 200
begin_capture
same_pixels "$diag/snapshot-0.png" "$work/output-1.png" || fail "the first output's frozen image"
same_pixels "$diag/snapshot-1.png" "$work/output-2.png" || fail "the second output's frozen image"
[ ! -e /tmp/out.png ] || fail "the portal's picture was left behind"

drag 150 100 450 300
key Return
wait_for 5 capture_closed
paste_png "$work/drag.png"
same_pixels "$work/drag.png" "$work/drag-grim.png" ||
    fail "the copy ($(png_size "$work/drag.png")) differs from grim's view"

# --- A long capture through the ScreenCast portal, scrolled by hand -----------
start_fixture --window 200,100,640,600 --length 2400 --step 60
manual_text="滚动原窗口。桌面不提供远程控制门户，无法自动滚动。空格停止，Enter 复制，Esc 关闭。"
ready_text="$manual_text" start_usual_region
has_widget button "自动滚动" && fail "automatic scrolling offered without a way to scroll"
wheel 10 5
wait_for 20 dimensions_are "560 × 1000 px"
# Nothing places Korvel's panel here, as on GNOME and KDE: it is given the
# keyboard through sway instead of a click.
swaymsg -q '[title="^Korvel · 长截图$"] focus'
sleep 0.5
key Return
paste_long_png "$work/manual.png"
expect_document_part "$work/manual.png" 560 1000 40 40
grep -q '^screenCastRestoreToken=.' "$conf" ||
    fail "no restore token kept"

# At output scale 2 the cast and the copy hold the output's own pixels.
fixture_at_scale_2
ready_text="$manual_text" start_usual_region
wheel 10 5
wait_for 20 dimensions_are "1120 × 2000 px"
swaymsg -q '[title="^Korvel · 长截图$"] focus'
sleep 0.5
key Return
paste_long_png "$work/scaled.png"
expect_document_part "$work/scaled.png" 1120 2000 80 80
swaymsg -q output HEADLESS-1 mode 1920x1080 scale 1

# --- Scrolled through the RemoteDesktop portal of a stand-in ---------------------
portal_log="$KORVEL_SESSION_DIR/remoteportal.log"
portal_pid=""
remote() { # MODE: a fresh stand-in granting or refusing the remote pointer
    [ -z "$portal_pid" ] || { kill "$portal_pid"; wait "$portal_pid" 2>/dev/null || true; }
    rm -f "$portal_log"
    spawn /usr/bin/python3 "$KORVEL_TESTS/testportal.py" remote "$1" "$portal_log" \
        "$KORVEL_BUILD/tests/e2e/korvel_wlpointer"
    portal_pid=$!
    wait_for 10 grep -qx ready "$portal_log"
}
# The centre of a button of the long capture's panel, from the corner of
# the panel window that Qt has it in.
panel_offset() {
    awk -F'\t' -v n="$1" '$1 == "window" && $2 == "Korvel · 长截图" { w[++k] = $3 }
        $1 == "button" && $2 == n && $4 != "0" { split($3, b, " ") }
        END { for (i = 1; i <= k; i++) { split(w[i], r, " ")
                  if (b[3] && b[1] >= r[1] && b[1] < r[1] + r[3] && b[2] >= r[2] && b[2] < r[2] + r[4]) {
                      printf "%d %d\n", b[1] - r[1] + b[3] / 2, b[2] - r[2] + b[4] / 2; exit } }
              exit 1 }' "$diag/widgets.txt"
}
# click_panel NAME LABEL: clicks that button until LABEL shows. Korvel cannot
# place its panel here: the click goes where sway shows it (the first window
# of its title, the preview the second), by an offset read until steady.
click_panel() {
    for try in 1 2 3; do
        wait_for 10 panel_offset "$1"
        offset="" i=0
        while [ "$(panel_offset "$1")" != "$offset" ] && [ $i -lt 20 ]; do
            offset="$(panel_offset "$1")" i=$((i + 1))
            sleep 0.3
        done
        set -- "$1" "$2" $offset $(sway_window '^Korvel · 长截图$')
        click_at $(($3 + $5)) $(($4 + $6))
        i=0
        while ! shown "$2" && [ $i -lt 30 ]; do sleep 0.1; i=$((i + 1)); done
        shown "$2" && return
        set -- "$1" "$2"
    done
    fail "the panel's $1 did not take the click"
}
# Clear of the left half of the screen, where sway tiles Korvel's panel:
# floating, it would lie over the panel's buttons.
start_fixture --window 1100,100,640,600 --length 2400 --step 60
place_window '^korvel-scroll$' 1100 100
cx=1100 cy=100
stop_korvel
remote grant
quiet_start
KORVEL_PLATFORM=portal start_korvel
start_usual_region
click_panel "自动滚动" "自动向下滚动中；空格停止，Enter 复制。"
expect_shown 40 "$stopped_text"
grep -qx "devices types=2" "$portal_log" || fail "no pointer asked for"
grep -qx "sources types=1" "$portal_log" || fail "no screen asked for in the same session"
# Steps at the region's middle (x 1140…1700, y 180…580), on the shared output.
grep -qx "motion 44 1420 380" "$portal_log" || fail "steps not at the region: $(grep motion "$portal_log" | head -1)"
grep -qx "axis 0 1" "$portal_log" || fail "no wheel steps down"
grep -qx "axis finish=True" "$portal_log" || fail "scrolls not ended"
swaymsg -q '[title="^Korvel · 长截图$"] focus'
sleep 0.5
key Return
paste_long_png "$work/auto.png"
expect_document_part "$work/auto.png" 560 2240 40 40
wait_for 5 grep -qx "closed session" "$portal_log"

# --- Refused: no steps, and the panel says why -------------------------------
remote refuse
forget_shown
start_usual_region
click_panel "自动滚动" "滚动原窗口。桌面拒绝了远程控制，无法自动滚动。空格停止，Enter 复制，Esc 关闭。"
has_widget button "自动滚动" && fail "automatic scrolling still offered after a refusal"
grep -q "^axis" "$portal_log" && fail "steps posted though refused"
alive
echo PASS
