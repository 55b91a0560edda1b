# Korvel on headless KWin, as on Plasma: without its desktop file KWin
# refuses it the screen and the capture goes to the Screenshot portal; once
# the installed desktop file is there, a capture freezes both outputs
# through KWin's ScreenShot2, without a dialog, exactly as KWin's own
# screenshot shows them, and KWin's scripting lists the windows to hover.
. "$KORVEL_TESTS/wllib.sh"
apps="$XDG_DATA_HOME/applications"
portal_log="$KORVEL_SESSION_DIR/testportal.log"
mkdir -p "$apps"
# KWin authorises the test's own view the same way, by the path of its
# program: a copy of Python, whose own desktop file would come first.
cp "$(readlink -f /usr/bin/python3)" "$work/view-python"
view() { PYTHONHOME=/usr "$work/view-python" "$KORVEL_TESTS/kwinview.py" "$@"; }
printf '[Desktop Entry]\nType=Application\nName=view\nExec=%s\nX-KDE-DBUS-Restricted-Interfaces=%s\n' \
    "$work/view-python" org.kde.KWin.ScreenShot2 >"$apps/kwinview.desktop"
# Alerts stay open (no pointer to close them): the program must still end
# when asked.
restart_korvel() {
    stop_korvel
    rm -f "$XDG_RUNTIME_DIR"/korvel-*.socket
    rm -f "$diag"/*
    start_korvel
}

"$fixture" 0 0 600 400 &
fixture_pid=$!
wait_for 10 view window korvel-fixture
set -- $(view window korvel-fixture)
[ $(($1 + $3)) -le 1280 ] || fail "the fixture is not on the first output: $*"

# --- Not authorised: the portal is asked, and its refusal shown ---------------
spawn /usr/bin/python3 "$KORVEL_TESTS/testportal.py" screenshot refuse "$portal_log"
wait_for 10 grep -qx ready "$portal_log"
quiet_start
start_korvel
"$korvel" --capture
wait_for 10 grep -qx "screenshot interactive=False" "$portal_log"
wait_for 10 grep -q '^无法截取屏幕|' "$diag/alerts.txt"

# --- Installed: KWin's pixels, no portal --------------------------------------
sed "s|@KORVEL_BINARY@|$korvel|" "$KORVEL_DESKTOP_TEMPLATE" >"$apps/korvel.desktop"
grep -qx "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2" "$apps/korvel.desktop" ||
    fail "the desktop file does not ask KWin for screenshots"
# KWin finds desktop files through KService's cache: brought up to date now
# rather than whenever it notices the new file.
kbuildsycoca5 >/dev/null 2>&1
restart_korvel
: >"$portal_log"
"$korvel" --capture
wait_for 10 test -s "$diag/snapshot-1.txt"
[ ! -s "$portal_log" ] || fail "the portal was asked: $(cat "$portal_log")"
[ ! -s "$diag/alerts.txt" ] || grep -qv '^无法截取屏幕' "$diag/alerts.txt" ||
    fail "capture failed: $(cat "$diag/alerts.txt")"
# The frozen fixture: its red quadrant, and its frame among the hover
# targets (display-local points, origin at the bottom left).
[ "$("$tool" pixel "$diag/snapshot-0.png" $(($1 + 20)) $(($2 + 20)))" = "#ff0000" ] ||
    fail "no red quadrant at the fixture's place"
grep -qx "$1 $((800 - $2 - $4)) $3 $4" "$diag/snapshot-0.txt" ||
    fail "the fixture ($*) is not a hover target: $(cat "$diag/snapshot-0.txt")"
# Without Korvel (its notice and overlays gone) the screen is as it froze.
stop_korvel
sleep 1
view screen Virtual-0 "$work/output-1.png"
view screen Virtual-1 "$work/output-2.png"
same_pixels "$diag/snapshot-0.png" "$work/output-1.png" || fail "the first output's frozen image"
same_pixels "$diag/snapshot-1.png" "$work/output-2.png" || fail "the second output's frozen image"
echo PASS
