# A long capture of Mousepad showing lines that differ only in their numbers, scrolled
# by hand slowly then fast: it equals the text shown at once in a window tall enough
# for all of it, row for row, and reaches where the scrolling ended.
. "$(dirname "$0")/lib.sh"

for i in $(seq 200); do
    echo "Line $i: 第${i}行 scrolling content … the same words on every line"
done >"$work/lines.txt"
spawn mousepad "$work/lines.txt" >/dev/null 2>&1
wait_for 30 sh -c "xdotool search --onlyvisible --class mousepad | grep -q ."
sleep 2
editor="$(xdotool search --onlyvisible --class mousepad | tail -1)"
# All 200 lines at once: the truth the long image is held to.
xdotool windowmove "$editor" 0 0 windowsize "$editor" 900 5800 sleep 2
window_frame "$editor"
"$tool" snapshot-png "$work/truth.png" "$cx" "$cy" "$cw" "$ch"
xdotool windowmove "$editor" 100 100 windowsize "$editor" 900 700 sleep 2
window_frame "$editor"

# The text area, clear of the caret and the scroll bar, from the client's row 56.
start_korvel
start_long_capture $((cx + 12)) $((cy + 56)) $((cx + 880)) $((cy + 690))
xdotool mousemove $((cx + 400)) $((cy + 300)) click --repeat 8 --delay 500 5
xdotool click --repeat 12 --delay 60 5 sleep 2
"$tool" snapshot-png "$work/end.png" $((cx + 12)) $((cy + 56)) 868 634
xdotool windowactivate --sync "$editor" key Return
paste_long_png "$work/long.png"
[ -z "${KORVEL_E2E_KEEP:-}" ] || { mkdir -p "$KORVEL_E2E_KEEP" && cp "$work"/*.png "$KORVEL_E2E_KEEP/"; }
"$tool" inside "$work/long.png" "$work/truth.png" 12 56 >/dev/null ||
    fail "the long image is not the text: $("$tool" rows "$work/long.png" "$work/truth.png" 12 | head -4 | tr '\n' ' ')"
height=$(png_size "$work/long.png" | cut -dx -f2)
"$tool" inside "$work/end.png" "$work/long.png" 0 $((height - 634)) >/dev/null ||
    fail "the long image ($height rows) stops before the scrolling did"
echo PASS
