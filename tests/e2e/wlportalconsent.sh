# The portal backend against a stand-in portal: the shortcut through
# GlobalShortcuts, and a Screenshot request dismissed, refused or never
# answered.
. "$KORVEL_TESTS/wllib.sh"
# The capture reached the portal, without a dialog.
asked() { wait_for 10 grep -qx "screenshot interactive=False" "$portal_log"; }
alerts() { cat "$diag/alerts.txt" 2>/dev/null || true; }

stand_in screenshot cancel
quiet_start
XDG_CURRENT_DESKTOP=GNOME KORVEL_PLATFORM=portal start_korvel

# The shortcut, bound and pressed through the portal, starts a capture.
wait_for 10 grep -qx "bind capture CTRL+1" "$portal_log"
dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
    org.korvel.Test.Press >/dev/null
asked

# Dismissed: nothing shown, and the next capture asks again.
sleep 2
[ -z "$(alerts)" ] || fail "alert after a dismissed dialog: $(alerts)"
overlays_shown 1 && fail "overlay after a dismissed dialog"

# Refused: the permission alert names GNOME's setting.
stand_in screenshot refuse
"$korvel" --capture
asked
wait_for 10 grep -q '^无法截取屏幕|请在设置 → 应用 → Korvel 的“截图”权限中允许Korvel' "$diag/alerts.txt"
key Return
sleep 1
rm -f "$diag/alerts.txt"

# No answer: given up on, the request closed, the failure alert.
stand_in screenshot silent
"$korvel" --capture
asked
wait_for 35 grep -q '^无法截取屏幕|无法读取显示器画面（桌面门户没有应答）' "$diag/alerts.txt"
wait_for 5 grep -qx closed "$portal_log"
key Return
alive
echo PASS
