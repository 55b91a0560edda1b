# Korvel on headless KWin, as on Plasma: without its desktop file the capture goes to the
# Screenshot portal; with it, through KWin's ScreenShot2 as KWin's own screenshot, windows to hover.
. "$KORVEL_TESTS/wllib.sh"
apps="$XDG_DATA_HOME/applications"
mkdir -p "$apps"
# KWin authorises the test's view by its program's path: a copy of Python, whose own desktop file
# would come first.
cp "$(readlink -f /usr/bin/python3)" "$work/view-python"
view() { PYTHONHOME=/usr "$work/view-python" "$KORVEL_TESTS/kwinview.py" "$@"; }
printf '[Desktop Entry]\nType=Application\nName=view\nExec=%s\nX-KDE-DBUS-Restricted-Interfaces=%s\n' \
    "$work/view-python" org.kde.KWin.ScreenShot2 >"$apps/kwinview.desktop"

"$fixture" 0 0 600 400 &
fixture_pid=$!

# Not authorised: the portal is asked, and its refusal shown.
stand_in screenshot refuse
quiet_start
start_korvel
"$korvel" --capture
wait_for 10 grep -qx "screenshot interactive=False" "$portal_log"
wait_for 10 grep -q '^无法截取屏幕|' "$diag/alerts.txt"

# Installed: KWin's pixels, no portal. KService's cache, which KWin reads desktop files through,
# is updated now rather than when KWin notices; KWin sees the update a moment later.
sed "s|@KORVEL_BINARY@|$korvel|" "$KORVEL_DESKTOP_TEMPLATE" >"$apps/korvel.desktop"
kbuildsycoca5 >/dev/null 2>&1
sleep 2
# The alert stays open (no pointer to close it): korvel must still end.
stop_korvel
rm -f "$XDG_RUNTIME_DIR"/korvel-*.socket "$diag"/*
start_korvel
: >"$portal_log"
"$korvel" --capture
wait_for 10 test -s "$diag/snapshot-1.txt"
[ ! -s "$portal_log" ] || fail "the portal was asked: $(cat "$portal_log")"
# The fixture's frame among the first output's hover targets (display-local points, origin at
# the bottom left), where the frozen image, compared with KWin's below, has its red quadrant.
set -- $(grep ' 600 400$' "$diag/snapshot-0.txt")
[ $# = 4 ] || fail "the fixture is not a hover target: $(cat "$diag/snapshot-0.txt")"
[ "$("$tool" pixel "$diag/snapshot-0.png" $(($1 + 20)) $((800 - $2 - $4 + 20)))" = "#ff0000" ] ||
    fail "no red quadrant at the fixture's hover target $*"
# Without Korvel (its notice and overlays gone) the screen is as it froze.
stop_korvel
sleep 1
view Virtual-0 "$work/output-1.ppm"
view Virtual-1 "$work/output-2.ppm"
same_pixels "$diag/snapshot-0.png" "$work/output-1.ppm" || fail "the first output's frozen image"
same_pixels "$diag/snapshot-1.png" "$work/output-2.ppm" || fail "the second output's frozen image"
echo PASS
