# What a capture picks on a real desktop: an old X program that names no
# process, a window with client-side decorations (only what lies inside its
# shadow), two panels that only the accessibility tree tells apart (the
# highlight follows the pointer from one to the other), the second monitor
# (the loupe's pixel, Space there), and a quick double right-click.
. "$(dirname "$0")/lib.sh"

work="$KORVEL_SESSION_DIR/targets"
mkdir -p "$work"
xmessage -title korvel-xmessage -geometry 300x120+1300+700 "korvel-xmessage" &
pids=$!
"$fixture" 700 100 400 300 20 &
pids="$pids $!"
"$KORVEL_BUILD/tests/e2e/korvel_a11yfixture" 200 430 flat >"$work/panels.txt" &
pids="$pids $!"
"$fixture" 2200 200 600 400 &
second=$!
pids="$pids $second"
trap 'kill $pids 2>/dev/null || true; stop_korvel' EXIT

xmessage_window="$(named_window korvel-xmessage)"
xprop -id "$xmessage_window" _NET_WM_PID | grep -q 'not found' || fail "xmessage names its process"
shadowed="$(named_window korvel-fixture-shadow)"
xprop -id "$shadowed" -f _GTK_FRAME_EXTENTS 32c -set _GTK_FRAME_EXTENTS 20,20,20,20
wait_for 10 sh -c "xdotool search --onlyvisible --pid $second"
wait_for 10 grep -q '^right ' "$work/panels.txt"
start_korvel

# A click in whole-window mode copies exactly the window's frozen pixels.
copy_window() { # x y expected-size what
  begin_capture
  xdotool mousemove "$1" "$2" key space sleep 0.3 click 1 sleep 0.3 key Return
  expect_closed
  paste_png "$work/copy.png"
  [ "$(png_size "$work/copy.png")" = "$3" ] || fail "$4: the copy is $(png_size "$work/copy.png")"
}

window_frame "$xmessage_window"
copy_window $((cx + 20)) $((cy + 20)) "${fw}x${fh}" "window without a process id"
window_frame "$shadowed"
copy_window $((cx + 100)) $((cy + 100)) "360x260" "window inside its shadow"
"$tool" inside "$work/copy.png" "$diag/snapshot-0.png" 720 120 >/dev/null ||
  fail "the window's copy is not what lies inside its shadow"

# On the second monitor the loupe takes the pointer's pixel, the blue
# quadrant's first row right under the red one, and Space takes whole windows
# there: a click on the red panel copies the window.
window_frame "$(xdotool search --onlyvisible --pid $second | head -1)"
begin_capture
xdotool mousemove $((cx + 100)) $((cy + 200)) sleep 0.4 key alt+c sleep 0.3 key Escape
[ "$(xclip -selection clipboard -o)" = "#0000FF" ] || fail "colour code: $(xclip -selection clipboard -o)"
expect_closed
copy_window $((cx + 100)) $((cy + 100)) "${fw}x${fh}" "Space on the second monitor"

# --- Panels of one window, told apart by their accessible elements -----------
set -- $(grep '^left ' "$work/panels.txt")
lx=$(($2 + $4 / 2)) ly=$(($3 + $5 / 2))
set -- $(grep '^right ' "$work/panels.txt")
boundary=$2 rx=$(($2 + $4 / 2)) ry=$(($3 + $5 / 2))
begin_capture
xdotool mousemove $((boundary - 60)) $ly
sleep 3.5 # long enough for every re-ask of a resting pointer
expect_pixel $lx $ly "#f0f0f0" "the left panel highlighted"
expect_pixel $rx $ry "#909090" "the right panel shaded"
xdotool mousemove $((boundary + 60)) $ly
sleep 2
expect_pixel $rx $ry "#f0f0f0" "the right panel highlighted"
expect_pixel $lx $ly "#909090" "the left panel shaded"

# A quick double right-click: the first press reselects, the second cancels.
xdotool click 1
sleep 0.3
xdotool click --repeat 2 --delay 80 3
expect_closed
echo PASS
