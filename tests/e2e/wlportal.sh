# Korvel's portal backend (KORVEL_PLATFORM=portal) on headless sway with
# xdg-desktop-portal-wlr: a capture freezes both outputs through the
# Screenshot portal exactly as grim sees them, and a drag copies exactly the
# pixels under it.
. "$KORVEL_TESTS/wllib.sh"
work="$KORVEL_SESSION_DIR/portal"
mkdir -p "$work"
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
kill -0 "$korvel_pid" || fail "korvel exited"
echo PASS
