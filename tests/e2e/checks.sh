# The check modes on a real X display with a window manager: the long capture
# check streams its fixture window through the X11 window stream, the region
# check finds the panels of another process's window, and
# "--accessibility-status" prints exactly one line, with and without a display.
. "$(dirname "$0")/lib.sh"

out="$("$korvel" --self-test)" || fail "--self-test exited $?: $out"
[ -z "$(printf '%s\n' "$out" | grep -v '^PASS: ')" ] || fail "--self-test printed '$out'"
[ "$(printf '%s\n' "$out" | wc -l)" = 10 ] || fail "--self-test ran other checks: '$out'"

# A wider, taller viewport than the self-test's, scrolled in long steps.
out="$("$korvel" --long-live-check 600 500 6000 150)" || fail "--long-live-check exited $?: $out"
[ "$out" = "PASS: long-capture" ] || fail "--long-live-check printed '$out'"

show_fixture 200 150 600 400
sleep 0.5
# The check keeps asking until it is stopped; timeout's status 124 says it
# was still running.
status=0
out="$(timeout 4 "$korvel" --region-check "$fixture_pid" 300 250)" || status=$?
[ "$status" = 124 ] || fail "--region-check exited $status: $out"
# The red quadrant under the point (its edge included) first, then larger
# regions up to the window with its frame; printed again when accessibility
# answers add regions.
[ "$(printf '%s\n' "$out" | head -1)" = "PASS: region-check: 209,159 292x192" ] ||
    fail "--region-check printed '$out'"
[ "$(printf '%s\n' "$out" | wc -l)" -ge 2 ] || fail "--region-check printed '$out'"
if printf '%s\n' "$out" | grep -qv '^PASS: region-check: '; then fail "--region-check printed '$out'"; fi
# Another process has no window there.
out="$(timeout 3 "$korvel" --region-check 1 300 250)" || true
[ "$out" = "FAIL: region-check: no window of process 1 in front at 300,250" ] ||
    fail "--region-check of process 1 printed '$out'"

a11y_status() { # expected, then environment changes
    expected="Accessibility trusted: $1"
    shift
    out="$(env "$@" "$korvel" --accessibility-status)"
    [ "$out" = "$expected" ] || fail "$*: '$out'"
}
a11y_status true
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:false >/dev/null
a11y_status false
a11y_status false -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=
# No window was created: nothing of ours is mapped.
[ -z "$(xdotool search --onlyvisible --classname '^korvel$' 2>/dev/null | head -1)" ] || fail "a window appeared"
echo PASS
