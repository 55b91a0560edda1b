# The portal backend (KORVEL_PLATFORM=portal) on headless sway with xdg-desktop-portal-wlr:
# captures through Screenshot, long captures through ScreenCast and PipeWire, automatic scrolling
# through a stand-in's RemoteDesktop, granted or refused. Then a stand-in alone: the shortcut
# through GlobalShortcuts, Screenshot requests dismissed, refused or never answered.
. "$KORVEL_TESTS/wllib.sh"
"$fixture" 0 0 600 400 &
fixture_pid=$!
place_window '^korvel-fixture$' 200 150

quiet_start
KORVEL_PLATFORM=portal start_korvel

copy_drag 150 100 450 300 drag
[ ! -e /tmp/out.png ] || fail "the portal's picture was left behind"

fixture_flags=--blink # a caret outside the region, as on a desktop: a frame PipeWire held back is soon followed
# Scrolled by hand at output scale 2: the cast and the copy hold the output's own pixels, and
# without RemoteDesktop no automatic scrolling is offered.
fixture_at_scale_2
ready_text="滚动原窗口。桌面不提供远程控制门户，无法自动滚动。空格停止，Enter 复制，Esc 关闭。" start_usual_region
has_widget button "自动滚动" && fail "automatic scrolling offered without a way to scroll"
for notches in 3 6 9; do # held up while the window scrolls, it catches up
    kill -STOP "$korvel_pid" && wheel 3 && sleep 1 && kill -CONT "$korvel_pid"
    wait_for 10 dimensions_are "1120 × $((800 + notches * 120)) px"
done
copy_long scaled 1120 1880 80 80
grep -q '^screenCastRestoreToken=.' "$conf" || fail "no restore token kept"
swaymsg -q output HEADLESS-1 mode 1920x1080 scale 1

# click_panel NAME LABEL: clicks that button until LABEL shows, where sway shows its panel (the
# first window of its title; Korvel cannot place it here), by an offset read until steady.
click_panel() {
    for try in 1 2 3; do
        wait_for 10 panel_button "$1"
        at="" i=0
        while [ "$(panel_button "$1")" != "$at" ] && [ $i -lt 20 ]; do
            at="$(panel_button "$1")" i=$((i + 1))
            sleep 0.3
        done
        click_at $(echo $at $(sway_window '^Korvel · 长截图$') | awk '{ print $3 + $5, $4 + $6 }')
        (wait_for 3 shown "$2") 2>/dev/null && return
    done
    fail "the panel's $1 did not take the click"
}
# Clear of the left half, where sway tiles the panel: the floating fixture would cover it.
fixture_x=1100 usual_fixture
stand_in remote grant
KORVEL_PLATFORM=portal restart_korvel
start_usual_region
click_panel "自动滚动" "自动向下滚动中；空格停止，Enter 复制。"
expect_shown 40 "$stopped_text"
# A pointer and the screen in one session; steps at the region's middle
# (x 1140…1700, y 180…580) on the shared output, down, each scroll ended.
for line in "devices types=2" "sources types=1" "motion 44 1420 380" "axis 0 1" "axis finish=True"; do
    grep -qx "$line" "$portal_log" || fail "not in the stand-in's log: $line"
done
copy_long auto 560 2240 40 40
wait_for 5 grep -qx "closed session" "$portal_log"

# Refused: no steps, and the panel says why.
stand_in remote refuse
forget_shown
start_usual_region
click_panel "自动滚动" "滚动原窗口。桌面拒绝了远程控制，无法自动滚动。空格停止，Enter 复制，Esc 关闭。"
has_widget button "自动滚动" && fail "automatic scrolling still offered after a refusal"
grep -q "^axis" "$portal_log" && fail "steps posted though refused"

# Korvel as on GNOME: the shortcut, bound and pressed through the portal, starts a capture.
asked() { wait_for 10 grep -qx "screenshot interactive=False" "$portal_log"; }
stand_in screenshot cancel
rm -f "$diag/alerts.txt"
XDG_CURRENT_DESKTOP=GNOME KORVEL_PLATFORM=portal restart_korvel
wait_for 10 grep -qx "bind capture CTRL+1" "$portal_log"
dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
    org.korvel.Test.Press >/dev/null
asked
# Dismissed: nothing shown, and the next capture asks again.
sleep 2
[ ! -s "$diag/alerts.txt" ] || fail "alert after a dismissed dialog: $(cat "$diag/alerts.txt")"
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
