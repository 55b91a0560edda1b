# Without a tray host Korvel says so once, never over a capture, and captures on its
# shortcut. Tray hosts that come later show dark ink in a light rim on any panel.
. "$(dirname "$0")/lib.sh"
notice_shown() { grep -q "	知道了	" "$diag/widgets.txt"; }
launch_korvel
wait_for 10 notice_shown
expect_eq "$(overlays)" 1 "notices"

# The shortcut while the notice is open: the notice makes way for the capture,
# whose keys and clicks work, and comes back when the capture is over.
begin_capture
sleep 0.2
! notice_shown || fail "the notice sits over the capture"
xdotool mousemove 600 400 click 1 sleep 0.3
! notice_shown || fail "the notice came back during the capture"
xdotool key Escape
wait_for 5 notice_shown
xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^Korvel$')" key Return
expect_closed
# The notice is not shown again.
begin_capture
xdotool key Escape sleep 0.5
expect_eq "$(overlays)" 0 "windows open after the capture"

luma() { # x y: the brightness there, 0…255
    c="$("$tool" root-pixel "$1" "$2" | cut -c2-)"
    echo $(((3 * 0x${c%????} + 6 * 0x$(echo "$c" | cut -c3-4) + 0x${c#????}) / 10))
}
# The old tray must be gone, or its icon and selection pass for the new one's.
no_icon() { ! xdotool search --onlyvisible --classname '^korvel$' >/dev/null 2>&1; }
tray=""
for panel in f0f0f0 202020; do
    [ -z "$tray" ] || { kill $tray && wait_for 10 no_icon; }
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
    # Across the arm of a corner: the darkest is the ink, the brightest the rim.
    set -- $(for i in 0 1 2 3 4; do luma $((x + s / 4)) $((y + i)); done | sort -n)
    [ "$1" -lt 80 ] && [ "$5" -gt 180 ] || fail "$panel: ink $1, rim $5"
done
alive
echo PASS
