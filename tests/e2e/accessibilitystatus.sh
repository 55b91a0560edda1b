# "--accessibility-status" prints exactly one line, with and without a display.
. "$(dirname "$0")/lib.sh"

out="$("$korvel" --accessibility-status)"
[ "$out" = "Accessibility trusted: true" ] || fail "with the accessibility bus on: '$out'"

dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
  org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
  variant:boolean:false >/dev/null
out="$("$korvel" --accessibility-status)"
[ "$out" = "Accessibility trusted: false" ] || fail "with the accessibility bus off: '$out'"

out="$(env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM= "$korvel" --accessibility-status)"
[ "$out" = "Accessibility trusted: false" ] || fail "without display and bus: '$out'"
# No window was created: nothing of ours is mapped.
[ -z "$(visible_window korvel)" ] || fail "a window appeared"
echo PASS
