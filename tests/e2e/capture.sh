# One capture after another on the real program: hovering highlights the
# fixture's panel and the wheel steps out to the window and back; the loupe
# shows and copies the colour under the pointer; a click in whole-window mode
# copies exactly the window's frozen pixels; a drag that runs onto the second
# monitor stays on the first; marks survive undo and redo, and the saved file
# is the copied image.
. "$(dirname "$0")/lib.sh"

work="$KORVEL_SESSION_DIR/capture"
mkdir -p "$work"
show_fixture 200 150 600 400
start_korvel

# --- Hover, wheel and loupe ------------------------------------------------
begin_capture
# The red quadrant spans client pixels 10…299 × 10…199.
xdotool mousemove $((cx + 100)) $((cy + 100))
sleep 0.6
expect_pixel $((cx + 20)) $((cy + 20)) "#ff0000" "highlighted panel"
expect_pixel $((cx + 290)) $((cy + 190)) "#ff0000" "highlighted panel's far corner"
expect_pixel $((cx + 400)) $((cy + 100)) "#009900" "green quadrant outside the highlight"
expect_pixel $((cx + 4)) $((cy + 100)) "#999999" "window border outside the highlight"
xdotool click 4
sleep 0.3
expect_pixel $((cx + 400)) $((cy + 100)) "#00ff00" "wheel up: the window"
expect_pixel $((cx + 4)) $((cy + 100)) "#ffffff" "wheel up: the window's border"
xdotool click 5
sleep 0.3
expect_pixel $((cx + 400)) $((cy + 100)) "#009900" "wheel down: the panel again"
expect_pixel $((cx + 20)) $((cy + 20)) "#ff0000" "wheel down: the panel again"

# The loupe sits 22 points right of and below the pointer; its zoom area's
# centre square (8 × 8) shows the pointer's pixel. On the blue quadrant's
# first row, right under the red one, that pixel is blue.
px=$((cx + 250)) py=$((cy + 200))
xdotool mousemove $px $py
sleep 0.4
expect_pixel $((px + 22 + 92)) $((py + 22 + 60)) "#0000ff" "loupe centre"
xdotool key alt+c
sleep 0.3
[ "$(xclip -selection clipboard -o)" = "#0000FF" ] || fail "colour code: $(xclip -selection clipboard -o)"

# --- Whole-window click on the frame's top row, copy closes ------------------
xdotool key space
xdotool mousemove $((fx + 100)) $fy
sleep 0.3
xdotool click 1
sleep 0.3
xdotool key Return
expect_closed
paste_png "$work/window.png"
[ "$(png_size "$work/window.png")" = "${fw}x${fh}" ] || fail "window copy is $(png_size "$work/window.png")"
"$tool" inside "$work/window.png" "$diag/snapshot-0.png" "$fx" "$fy" >/dev/null \
    || fail "copied window differs from its frozen pixels"

# --- The shortcut again mid-capture, a tiny drag, Escape --------------------
begin_capture
begin_capture
[ "$(xdotool search --onlyvisible --name '^Korvel$' | wc -l)" = 2 ] || fail "overlays pile up"
# Below 3 points a press is a click: on the desktop it takes the whole display.
xdotool mousemove 1000 700 mousedown 1 mousemove 1001 701 mousemove 1002 702 mouseup 1
sleep 0.3
[ "$(xdotool search --onlyvisible --name '^Korvel$' | wc -l)" = 2 ] || fail "a 2-point drag ended the capture"
xdotool key Escape
expect_closed

# --- A drag onto the second monitor stays on the first -----------------------
begin_capture
drag 1800 500 2100 600
sleep 0.3
xdotool key Return
expect_closed
paste_png "$work/drag.png"
[ "$(png_size "$work/drag.png")" = "120x100" ] || fail "drag copy is $(png_size "$work/drag.png")"
"$tool" inside "$work/drag.png" "$diag/snapshot-0.png" 1800 500 >/dev/null \
    || fail "dragged copy differs from its frozen pixels"

# --- With "复制后退出截图" off: annotate, undo, redo, save --------------------
stop_korvel
mkdir -p "$XDG_CONFIG_HOME/Korvel"
printf '[General]\ncopyCloses=false\n' >"$XDG_CONFIG_HOME/Korvel/Korvel.conf"
start_korvel
begin_capture
drag $((cx + 50)) $((cy + 50)) $((cx + 450)) $((cy + 350))
sleep 0.3
xdotool key Return
sleep 0.3
overlay_shown || fail "copying closed the capture with copyCloses off"
paste_png "$work/plain.png"
[ "$(png_size "$work/plain.png")" = "400x300" ] || fail "selection copy is $(png_size "$work/plain.png")"

xdotool key shift+1 # rectangle
drag $((cx + 100)) $((cy + 100)) $((cx + 200)) $((cy + 200))
xdotool key shift+3 # arrow
drag $((cx + 250)) $((cy + 120)) $((cx + 400)) $((cy + 300))
sleep 0.2
xdotool key Return
sleep 0.3
paste_png "$work/two.png"
xdotool key ctrl+z Return
sleep 0.3
paste_png "$work/one.png"
xdotool key ctrl+shift+z Return
sleep 0.3
paste_png "$work/redone.png"
! cmp -s "$work/plain.png" "$work/one.png" || fail "the rectangle left no mark"
! cmp -s "$work/one.png" "$work/two.png" || fail "undo changed nothing"
cmp -s "$work/two.png" "$work/redone.png" || fail "redo did not bring the arrow back"

xdotool key ctrl+s
wait_for 10 sh -c "xdotool search --onlyvisible --name '^保存截图\$'"
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 5 "$work/saved.png"
xdotool key Return
wait_for 10 test -s "$work/saved.png"
expect_closed
cmp -s "$work/saved.png" "$work/two.png" || fail "the saved file differs from the copied image"
kill -0 $korvel_pid || fail "korvel exited"
echo PASS
