# Without a tray host Korvel says so once and still captures on its shortcut;
# the notice never sits over a capture. Tray hosts that come later show its
# artwork on a light and a dark panel: dark ink in a light rim.
# KORVEL_E2E_KEEP=DIR keeps shots of the panels.
. "$(dirname "$0")/lib.sh"
notice_shown() { grep -q "	知道了	" "$diag/widgets.txt"; }
launch_korvel
wait_for 10 notice_shown
[ "$(xdotool search --onlyvisible --name '^Korvel$' | wc -l)" = 1 ] || fail "more than one notice"

# The shortcut while the notice is open: the notice makes way for the capture,
# whose keys and clicks work, and comes back when the capture is over.
xdotool key ctrl+1
wait_for 10 test -s "$diag/captures.txt"
sleep 0.5
! notice_shown || fail "the notice sits over the capture"
xdotool mousemove 600 400 click 1
sleep 0.3
! notice_shown || fail "the notice came back during the capture"
xdotool key Escape
wait_for 5 notice_shown
rm "$diag/captures.txt"
xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^Korvel$')" key Return
expect_closed
# The notice is not shown again.
xdotool key ctrl+1
wait_for 10 test -s "$diag/captures.txt"
[ "$(cat "$diag/captures.txt")" = 2 ] || fail "expected two snapshots"
xdotool key Escape
sleep 0.5
[ -z "$(xdotool search --onlyvisible --name '^Korvel$')" ] || fail "a window is still open"

luma() { # x y: the brightness there, 0…255
    c="$("$tool" root-pixel "$1" "$2" | cut -c2-)"
    echo $(((3 * 0x${c%????} + 6 * 0x$(echo "$c" | cut -c3-4) + 0x${c#????}) / 10))
}
tray=""
for panel in f0f0f0 202020; do
    kill $tray 2>/dev/null || true
    spawn trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 28 \
        --SetDockType true --expand false --transparent true --alpha 0 --tint 0x$panel >/dev/null 2>&1
    tray=$!
    wait_for 10 "$tool" tray-ready
    wait_for 10 find_icon
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$icon")"
    s=$((WIDTH < HEIGHT ? WIDTH : HEIGHT)) x=$((X + (WIDTH - s) / 2)) y=$((Y + (HEIGHT - s) / 2))
    [ "$(luma $((x + s / 2)) $((y + s / 2)))" -lt 80 ] || fail "$panel: no shutter dot"
    gap=$(($(luma $((x + s / 2)) $((y + s / 9))) - $(luma $((X - 6)) $((Y + HEIGHT / 2)))))
    [ $gap -le 30 ] && [ $gap -ge -30 ] || fail "$panel: not the artwork between its corners"
    ink=255 rim=0 # across the arm of a corner
    for i in 0 1 2 3 4; do
        l=$(luma $((x + s / 4)) $((y + i)))
        [ "$l" -lt $ink ] && ink=$l
        [ "$l" -gt $rim ] && rim=$l
    done
    [ $ink -lt 80 ] && [ $rim -gt 180 ] || fail "$panel: ink $ink, rim $rim"
    [ -z "${KORVEL_E2E_KEEP:-}" ] || "$tool" snapshot-png "$KORVEL_E2E_KEEP/tray-$panel.png" 1700 0 220 32
done
alive
echo PASS
