# The portal backend against a stand-in portal: the capture shortcut is
# bound through the GlobalShortcuts portal and its press starts a capture;
# a dismissed dialog ends the capture without a word, a refusal brings the
# permission alert naming the desktop's setting, and a portal that never
# answers is given up on (its request closed) with the failure alert.
. "$KORVEL_TESTS/wllib.sh"
portal_log="$KORVEL_SESSION_DIR/testportal.log"
portal_pid=""
portal() { # MODE: a fresh stand-in answering that way
    [ -z "$portal_pid" ] || { kill "$portal_pid"; wait "$portal_pid" 2>/dev/null || true; }
    rm -f "$portal_log"
    spawn /usr/bin/python3 "$KORVEL_TESTS/testportal.py" screenshot "$1" "$portal_log"
    portal_pid=$!
    wait_for 10 grep -qx ready "$portal_log"
}
# capture_asked N: the N-th capture reached the portal without a dialog.
capture_asked() {
    "$korvel" --capture
    wait_for 10 grep -qx "screenshot interactive=False" "$portal_log"
}
alerts() { cat "$diag/alerts.txt" 2>/dev/null || true; }

portal cancel
quiet_start
XDG_CURRENT_DESKTOP=GNOME KORVEL_PLATFORM=portal start_korvel

# --- The shortcut, pressed through the portal, starts a capture ----------------
wait_for 10 grep -qx "bind capture CTRL+1" "$portal_log"
dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
    org.korvel.Test.Press >/dev/null
wait_for 10 grep -qx "screenshot interactive=False" "$portal_log"

# --- Dismissed: nothing shown, and the next capture asks again ----------------
sleep 2
[ -z "$(alerts)" ] || fail "alert after a dismissed dialog: $(alerts)"
overlays_shown 1 && fail "overlay after a dismissed dialog"
rm -f "$portal_log"
portal cancel
capture_asked
sleep 1
alive

# --- Refused: the permission alert names GNOME's setting ---------------------
portal refuse
capture_asked
wait_for 10 grep -q '^无法截取屏幕|请在设置 → 应用 → Korvel 的“截图”权限中允许Korvel' "$diag/alerts.txt"
key Return
sleep 1
rm -f "$diag/alerts.txt"

# --- No answer: given up on, the request closed, the failure alert -----------
portal silent
capture_asked
wait_for 35 grep -q '^无法截取屏幕|无法读取显示器画面（桌面门户没有应答）' "$diag/alerts.txt"
wait_for 5 grep -qx closed "$portal_log"
key Return
alive
echo PASS
