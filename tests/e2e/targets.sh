# What a capture picks on a real desktop: an X program that names no process, a
# window with client-side decorations (inside its shadow), panels only the
# accessibility tree tells apart, the second monitor (loupe, Space, a pin over the
# selection), and a quick double right-click.
. "$(dirname "$0")/lib.sh"
spawn xmessage -title korvel-xmessage -geometry 300x120+1300+700 "korvel-xmessage"
spawn "$KORVEL_BUILD/tests/e2e/korvel_a11yfixture" 200 430 flat >"$work/panels.txt"
panels=$!
show_fixture 700 100 400 300 20
shadowed=$fixture_window
xprop -id "$shadowed" -f _GTK_FRAME_EXTENTS 32c -set _GTK_FRAME_EXTENTS 20,20,20,20
xmessage_window="$(named_window korvel-xmessage)"
xprop -id "$xmessage_window" _NET_WM_PID | grep -q 'not found' || fail "xmessage names its process"
wait_for 10 grep -q '^right ' "$work/panels.txt"
start_korvel

window_frame "$xmessage_window"
copy_window $((cx + 20)) $((cy + 20)) "${fw}x${fh}"
window_frame "$shadowed"
copy_window $((cx + 100)) $((cy + 100)) 360x260 "$diag/snapshot-0.png" 720 120

# --- On the second monitor ----------------------------------------------------------
show_fixture 2200 200 600 400
# Alt+C copies the colour code of the pointer's pixel: the blue quadrant's first row.
begin_capture
xdotool mousemove $((cx + 100)) $((cy + 200)) sleep 0.4 key alt+c sleep 0.3 key Escape
expect_eq "$(xclip -selection clipboard -o)" "#0000FF" "colour code"
expect_closed
# Space takes whole windows there: a click on the red panel copies the window.
copy_window $((cx + 100)) $((cy + 100)) "${fw}x${fh}" "$diag/snapshot-1.png" $((fx - 1920)) "$fy"
# A pin of a selection across the four colours opens over it, its frozen pixels inside a border.
begin_capture
x0=$((cx + 200)) y0=$((cy + 130)) x1=$((cx + 400)) y1=$((cy + 250))
drag $x0 $y0 $x1 $y1
xdotool sleep 0.5 key ctrl+p
wait_for 5 test -s "$diag/pins.txt"
expect_eq "$(cat "$diag/pins.txt")" "$x0 $y0 $((x1 - x0)) $((y1 - y0))" "the pin over the selection"
expect_closed
named_window "Korvel · 贴图" >/dev/null
sleep 0.5
"$tool" snapshot-png "$work/pin.png" $((x0 + 1)) $((y0 + 1)) $((x1 - x0 - 2)) $((y1 - y0 - 2))
expect_png "$work/pin.png" 198x118 "$diag/snapshot-1.png" $((x0 - 1919)) $((y0 + 1))
[ "$("$tool" pixel "$work/pin.png" 5 5)" != "$("$tool" pixel "$work/pin.png" 190 110)" ] ||
    fail "the pin shows one colour only"

# --- Panels of one window, told apart by their accessible elements -----------------
set -- $(grep '^left ' "$work/panels.txt")
lx=$(($2 + $4 / 2)) ly=$(($3 + $5 / 2))
set -- $(grep '^right ' "$work/panels.txt")
boundary=$2 rx=$(($2 + $4 / 2)) ry=$(($3 + $5 / 2))
# Stopped, the application leaves hovering to the pixels: the whole window, then none.
kill -STOP $panels
begin_capture
hover $((boundary - 60)) $ly
expect_pixel $lx $ly "#f0f0f0" "the stopped window highlighted"
expect_pixel $rx $ry "#f0f0f0" "the stopped window highlighted"
hover 900 250
expect_pixel $lx $ly "#909090" "the stopped window shaded"
kill -CONT $panels
xdotool key Escape
expect_closed
# Going again, it answers for the panels; 3.5 s outlast every re-ask of a resting pointer.
begin_capture
hover $((boundary - 60)) $ly 3.5
expect_pixel $lx $ly "#f0f0f0" "the left panel highlighted"
expect_pixel $rx $ry "#909090" "the right panel shaded"
hover $((boundary + 60)) $ly 2
expect_pixel $rx $ry "#f0f0f0" "the right panel highlighted"
expect_pixel $lx $ly "#909090" "the left panel shaded"

# A quick double right-click: the first press reselects, the second cancels.
xdotool click 1 sleep 0.3 click --repeat 2 --delay 80 3
expect_closed
echo PASS
