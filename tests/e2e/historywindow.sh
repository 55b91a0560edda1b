# The history window over a folder holding three captures, a file that does
# not decode and a file that is not an entry: "删除" removes exactly the
# selected (newest) capture, "清空历史" confirmed with Return removes every
# entry, the undecodable one included, and leaves the other file alone; Ctrl+Q
# there quits Korvel, as in every Korvel window.
. "$(dirname "$0")/lib.sh"

history="$XDG_DATA_HOME/Dastra/History"
mkdir -p "$history"
shot="$KORVEL_SESSION_DIR/shot.png"
n=0
for size in "100 100" "120 80" "90 60"; do
  n=$((n + 1))
  # shellcheck disable=SC2086
  "$tool" snapshot-png "$shot" 0 0 $size
  digest="$(sha256sum "$shot" | cut -d' ' -f1)"
  mv "$shot" "$history/0000170000000${n}000000-$digest.png"
done
newest="$(ls "$history" | sort -r | head -1)"
printf 'not a png' > "$history/00001700000002500000-$(printf '%064d' 0).png"
printf 'mine' > "$history/notes.txt"
entries() { ls "$history" | grep -c '\.png$' || true; }
[ "$(entries)" = 4 ] || fail "seeded $(entries) entries"

start_korvel

# The fourth item of the tray menu, "截图历史…".
xdotool mousemove --window "$icon" 5 5 click 3
sleep 0.5
xdotool key Down Down Down Down Return
wait_for 10 sh -c "xdotool search --onlyvisible --name '^Korvel · 截图历史\$'"
window="$(xdotool search --onlyvisible --name '^Korvel · 截图历史$' | head -1)"
sleep 0.5
height="$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p')"
[ -n "$height" ] || fail "no window geometry"
button_y=$((height - 32))

# "删除", the fifth button, on the newest entry selected at opening.
xdotool mousemove --window "$window" $((16 + 112 * 4 + 52)) "$button_y" click 1
wait_for 5 sh -c "[ ! -e '$history/$newest' ]"
[ "$(entries)" = 3 ] || fail "deleting left $(entries) entries"

# "清空历史", then Return on the confirmation's default "清空".
xdotool mousemove --window "$window" $((16 + 112 * 5 + 52)) "$button_y" click 1
sleep 1
xdotool key Return
wait_for 5 sh -c "[ \$(ls '$history' | grep -c '\\.png\$') = 0 ]"
[ "$(cat "$history/notes.txt")" = mine ] || fail "the stray file was touched"

xdotool windowactivate --sync "$window" key ctrl+q
# Gone, or a zombie nobody waited for yet.
wait_for 5 sh -c "! ps -o stat= -p $korvel_pid | grep -qv Z"
echo "PASS"
