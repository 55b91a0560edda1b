# A pin made from a capture on the secondary display opens exactly over the
# selection and shows the frozen pixels one to one inside its border.
. "$(dirname "$0")/lib.sh"

work="$KORVEL_SESSION_DIR/pincapture"
mkdir -p "$work"
# On the second monitor, which starts at x = 1920.
show_fixture 2100 200 600 400
start_korvel
begin_capture
# A free rectangle across the middle of the fixture's four colours.
x0=$((cx + 200)) y0=$((cy + 130)) x1=$((cx + 400)) y1=$((cy + 250))
drag $x0 $y0 $x1 $y1
sleep 0.5
xdotool key ctrl+p
wait_for 5 test -s "$diag/pins.txt"
[ "$(cat "$diag/pins.txt")" = "$x0 $y0 $((x1 - x0)) $((y1 - y0))" ] \
  || fail "pin at $(cat "$diag/pins.txt"), selection $x0 $y0 $((x1 - x0)) $((y1 - y0))"
expect_closed
sleep 0.5
"$tool" snapshot-png "$work/pin.png" $((x0 + 1)) $((y0 + 1)) $((x1 - x0 - 2)) $((y1 - y0 - 2))
"$tool" inside "$work/pin.png" "$diag/snapshot-1.png" $((x0 - 1919)) $((y0 + 1)) >/dev/null \
  || fail "the pin does not show the frozen pixels"
# Four colours meet in it.
[ "$("$tool" pixel "$work/pin.png" 5 5)" != "$("$tool" pixel "$work/pin.png" 190 110)" ] \
  || fail "the pin shows one colour only"
echo PASS
