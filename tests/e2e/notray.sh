# Without a tray host Korvel says so once and still captures on its shortcut;
# the notice never sits over a capture.
. "$(dirname "$0")/lib.sh"

KORVEL_DIAGNOSTICS_DIR="$diag" "$korvel" &
korvel_pid=$!

notice_shown() { grep -q "	知道了	" "$diag/widgets.txt"; }
wait_for 10 notice_shown
[ "$(xdotool search --onlyvisible --name '^Korvel$' | wc -l)" = 1 ] || fail "more than one notice"

# The shortcut while the notice is open: the notice makes way for the capture,
# whose keys and clicks work, and comes back when the capture is over.
xdotool key ctrl+1
wait_for 10 test -s "$diag/captures.txt"
sleep 0.5
! notice_shown || fail "the notice sits over the capture"
xdotool mousemove 600 400 click 1
sleep 0.3
! notice_shown || fail "the notice came back during the capture"
xdotool key Escape
wait_for 5 notice_shown
rm "$diag/captures.txt"

notice="$(xdotool search --onlyvisible --name '^Korvel$')"
xdotool windowactivate --sync "$notice" key Return
expect_closed

xdotool key ctrl+1
wait_for 10 test -s "$diag/captures.txt"
[ "$(cat "$diag/captures.txt")" = 2 ] || fail "expected two snapshots"
# The notice is not shown again.
xdotool key Escape
sleep 0.5
[ -z "$(xdotool search --onlyvisible --name '^Korvel$')" ] || fail "a window is still open"
kill -0 $korvel_pid || fail "korvel exited"
echo PASS
