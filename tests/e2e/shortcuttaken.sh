# A combination another X client holds: the launch alert says so, and the tray
# menu still captures. A logout while that alert is open still ends korvel.
. "$(dirname "$0")/lib.sh"

"$KORVEL_BUILD/tests/e2e/korvel_keygrabber" 0x31 4 "$diag/grabbed" &
grabber=$!
trap 'kill $grabber 2>/dev/null || true; stop_korvel' EXIT
wait_for 5 test -e "$diag/grabbed"

taken="Korvel|快捷键 Ctrl+1 注册失败，可能已被其他应用或系统占用。可从菜单栏设置其他快捷键，或点击截图。"
KORVEL_DIAGNOSTICS_DIR="$diag" "$korvel" &
korvel_pid=$!
expect_alert "$taken"
kill -TERM $korvel_pid
timeout 5 sh -c "while kill -0 $korvel_pid 2>/dev/null; do sleep 0.1; done" ||
    fail "SIGTERM with the alert open: korvel still runs"
wait $korvel_pid || fail "SIGTERM with the alert open: exit status $?"

rm -f "$diag/alerts.txt"
KORVEL_DIAGNOSTICS_DIR="$diag" "$korvel" &
korvel_pid=$!
expect_alert "$taken"
sleep 0.5
xdotool key Return
wait_for 10 find_icon
choose_menu_item 1
expect_capture
echo PASS
