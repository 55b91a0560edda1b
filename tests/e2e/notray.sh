# Without a tray host Korvel says so once and still captures on its shortcut.
. "$(dirname "$0")/lib.sh"

diag="$KORVEL_SESSION_DIR/diagnostics"
mkdir -p "$diag"
KORVEL_DIAGNOSTICS_DIR="$diag" "$korvel" &
korvel_pid=$!
trap 'kill $korvel_pid 2>/dev/null || true' EXIT

wait_for 10 sh -c "xdotool search --onlyvisible --name '^Korvel\$'"
[ "$(xdotool search --onlyvisible --name '^Korvel$' | wc -l)" = 1 ] || fail "more than one notice"
notice="$(xdotool search --onlyvisible --name '^Korvel$')"
xdotool windowactivate --sync "$notice" key Return
wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Korvel\$'"

xdotool key ctrl+1
wait_for 10 test -s "$diag/captures.txt"
[ "$(cat "$diag/captures.txt")" = 2 ] || fail "expected two snapshots"
# The notice is not shown again.
xdotool key Escape
sleep 0.5
[ -z "$(xdotool search --onlyvisible --name '^Korvel$')" ] || fail "a window is still open"
kill -0 $korvel_pid || fail "korvel exited"
echo PASS
