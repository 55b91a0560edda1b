# "--pin FILE" adds one pinned window to the running Korvel; at 100 % the pin
# shows the file's pixels exactly inside a thin border; the wheel zooms, Control-wheel fades,
# Control-C copies the file's bytes and Escape closes it. Bad files exit 2.
. "$(dirname "$0")/lib.sh"

work="$KORVEL_SESSION_DIR/pin"
mkdir -p "$work"
show_fixture 200 150 600 400
sleep 0.5
# The fixture's four quadrants meet in this piece of the screen.
"$tool" snapshot-png "$work/in.png" 450 300 160 120 || fail "no image to pin"

start_korvel
refused() { # option file: exit status 2 and a message naming the file
  status=0
  timeout 5 "$korvel" "$1" "$2" 2>"$work/err" || status=$?
  [ $status = 2 ] || fail "$1 $2 exited $status"
  grep -qF "$2" "$work/err" || fail "the message does not name $2: $(cat "$work/err")"
}
: >"$work/empty.png"
printf 'not an image' >"$work/text.png"
head -c 300 "$work/in.png" >"$work/truncated.png"
for bad in "$work/missing.png" "$work" "$work/empty.png" "$work/text.png" "$work/truncated.png"; do
  refused --pin "$bad"
done

xdotool mousemove 300 300
timeout 5 "$korvel" --pin "$work/in.png" || fail "--pin did not hand over"
wait_for 5 test -s "$diag/pins.txt"
[ "$(wc -l <"$diag/pins.txt")" = 1 ] || fail "pins: $(cat "$diag/pins.txt")"
[ "$(xdotool search --onlyvisible --classname '^korvel$' | wc -l)" = 2 ] \
  || fail "expected the tray icon and one pin: $(xdotool search --onlyvisible --classname "^korvel$" | while read w; do xdotool getwindowname $w; done)"
set -- $(cat "$diag/pins.txt")
px=$1 py=$2 pw=$3 ph=$4
[ "$pw $ph" = "160 120" ] || fail "pin size $pw × $ph"
# Centred on the screen under the pointer (the first, 1920 × 1080).
[ "$px $py" = "880 480" ] || fail "pin at $px, $py"
pin="$(xdotool search --onlyvisible --name '^Korvel · 贴图$' | head -1)"
[ -n "$pin" ] || fail "no pin window"
sleep 0.5
# No compositor, no shadow: a one-pixel border, and inside the file's pixels.
"$tool" crop "$work/in.png" 1 1 158 118 "$work/inner.png"
"$tool" compare "$work/inner.png" $((px + 1)) $((py + 1)) >/dev/null || fail "the pin does not show the file's pixels"
for edge in "$px $((py + 60))" "$((px + 159)) $((py + 60))" "$((px + 80)) $py" "$((px + 80)) $((py + 119))"; do
  [ "$("$tool" root-pixel $edge)" = "#3b82f6" ] || fail "no border at $edge: $("$tool" root-pixel $edge)"
done
xprop -id "$pin" _NET_WM_DESKTOP | grep -q '= 4294967295$' || fail "the pin is not on every desktop"

# The wheel zooms about the pointer.
xdotool mousemove $((px + 40)) $((py + 30)) click 4
sleep 0.5
set -- $("$tool" frame "$pin")
[ "$7" -gt 160 ] && [ "$8" -gt 120 ] || fail "no zoom: $7 × $8"
# Double click restores the size.
xdotool mousemove $((px + 40)) $((py + 30)) click --repeat 2 --delay 80 1
sleep 0.5
set -- $("$tool" frame "$pin")
[ "$7 $8" = "160 120" ] || fail "double click left $7 × $8"

# Control with the wheel fades the pin.
xdotool mousemove $((px + 40)) $((py + 30)) keydown ctrl click 5 keyup ctrl
sleep 0.5
opacity="$(xprop -id "$pin" _NET_WM_WINDOW_OPACITY | sed -n 's/.* = //p')"
[ -n "$opacity" ] && [ "$opacity" -lt 4294967295 ] || fail "no opacity change: '$opacity'"

# Control-C puts the file's own bytes on the clipboard.
xdotool key ctrl+c
sleep 0.5
xclip -selection clipboard -t image/png -o >"$work/out.png"
cmp -s "$work/in.png" "$work/out.png" || fail "copied bytes differ"

# Escape closes the pin and releases it.
xdotool key Escape
wait_for 5 sh -c "[ ! -s '$diag/pins.txt' ]"
wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Korvel · 贴图\$'"

# "--edit FILE" opens one result window on the file in the same instance;
# bad files are refused by the start that named them.
refused --edit "$work/truncated.png"
timeout 5 "$korvel" --edit "$work/in.png" || fail "--edit did not hand over"
wait_for 5 sh -c "xdotool search --onlyvisible --name '^Korvel · in.png 160 × 120 px\$'"
[ "$(xdotool search --onlyvisible --name '^Korvel · in.png' | wc -l)" = 1 ] || fail "more than one result window"
kill -0 "$korvel_pid" || fail "the first korvel is gone"
echo PASS
