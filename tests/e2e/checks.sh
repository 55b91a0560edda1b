# The check modes on a real X display: the long capture check streams through the
# X11 window stream, the region check finds another process's panels, and
# "--accessibility-status" asks the session's bus. cli.CommandLine runs the rest.
. "$(dirname "$0")/lib.sh"

# A wider, taller viewport than the self-test's, scrolled in long steps.
out="$("$korvel" --long-live-check 600 500 6000 150)" || fail "--long-live-check exited $?: $out"
expect_eq "$out" "PASS: long-capture" --long-live-check

show_fixture 200 150 600 400
sleep 0.5
# The check asks until it is stopped: timeout's status 124.
status=0
out="$(timeout 4 "$korvel" --region-check "$fixture_pid" 300 250)" || status=$?
expect_eq "$status" 124 "--region-check's status ($out)"
# The red quadrant under the point (with its edge), then larger regions up to the
# framed window; printed again when accessibility answers add regions.
expect_eq "$(printf '%s\n' "$out" | head -1)" "PASS: region-check: 209,159 292x192" "--region-check"
[ "$(printf '%s\n' "$out" | wc -l)" -ge 2 ] || fail "--region-check printed '$out'"
if printf '%s\n' "$out" | grep -qv '^PASS: region-check: '; then fail "--region-check printed '$out'"; fi
# Another process has no window there.
out="$(timeout 3 "$korvel" --region-check 1 300 250)" || true
expect_eq "$out" "FAIL: region-check: no window of process 1 in front at 300,250" "--region-check 1"

expect_eq "$("$korvel" --accessibility-status)" "Accessibility trusted: true" "accessibility on"
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:false >/dev/null
expect_eq "$("$korvel" --accessibility-status)" "Accessibility trusted: false" "accessibility off"
# No window was created: nothing of ours is mapped.
[ -z "$(visible_window korvel)" ] || fail "a window appeared"
echo PASS
