# One Korvel per session: a second start and "--capture" make the running one
# capture and leave at once; a socket left by a killed instance is taken over.
. "$(dirname "$0")/lib.sh"

tray_icons() { xdotool search --onlyvisible --classname '^korvel$' 2>/dev/null | wc -l; }

start_korvel
[ "$(tray_icons)" = 1 ] || fail "expected one tray icon"
timeout 5 "$korvel" || fail "a second start did not hand over"
expect_capture
[ "$(tray_icons)" = 1 ] || fail "a second tray icon appeared"

timeout 5 "$korvel" --capture || fail "--capture did not hand over"
expect_capture

# Killed without a chance to clean up: the socket file stays behind.
kill -9 "$korvel_pid"
wait "$korvel_pid" 2>/dev/null || true
ls "$XDG_RUNTIME_DIR"/korvel-*.socket >/dev/null || fail "no socket was left behind"
sleep 0.5
# Started by "--capture" itself: it becomes the instance and captures.
start_korvel --capture
expect_capture
timeout 5 "$korvel" --capture || fail "the new instance does not answer"
expect_capture
[ "$(tray_icons)" = 1 ] || fail "expected one tray icon after the restart"
echo PASS
