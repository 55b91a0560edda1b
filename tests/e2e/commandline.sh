# The check modes answer on standard output without a display: one
# "FAIL: not available" line and status 1 until their subsystems exist.
set -u
korvel="$KORVEL_BUILD/src/app/korvel"
fail() { echo "FAIL: $*" >&2; exit 1; }

for args in "--self-test" "--mosaic-brush-check" "--check-update-feed" \
            "--long-live-check a b c d" "--region-check 1 2 3"; do
  # shellcheck disable=SC2086
  out="$(env -u DISPLAY -u WAYLAND_DISPLAY "$korvel" $args)"
  status=$?
  [ "$status" = 1 ] || fail "$args exited $status"
  [ "$out" = "FAIL: not available" ] || fail "$args printed '$out'"
done
# The accessibility query comes before the update feed, whatever the order.
out="$(env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR "$korvel" --check-update-feed --accessibility-status)"
[ "$?" = 0 ] || fail "accessibility status failed"
[ "$out" = "Accessibility trusted: false" ] || fail "printed '$out'"
echo PASS
