# Korvel on headless sway, against grim, wl-paste and swaymsg: the start-up
# hint, frozen outputs, drags on each output and at scale 2, hover, whole
# window, pins, undo and redo, save.
. "$KORVEL_TESTS/wllib.sh"
"$fixture" 0 0 600 400 &
fixture_pid=$!
place_window '^korvel-fixture$' 200 150

start_korvel
wait_for 10 grep -qF "bindsym Ctrl+1 exec korvel --capture" "$diag/alerts.txt"
# Listed once shown, a moment before sway maps it and gives it the keyboard.
wait_for 10 swaymsg -q '[app_id="^korvel$" floating] focus'
key Return
sleep 1
alive
[ "$(grep -c . "$diag/alerts.txt")" = 1 ] || fail "alerts: $(cat "$diag/alerts.txt")"

copy_drag 700 400 900 520 first
copy_drag 2000 900 2400 1020 second

# Hover highlights the fixture's red panel to its far corner, not the green
# quadrant or the window's border beside it.
park
begin_capture
pointer "move 300 250" "sleep 600"
for p in "220 170 #ff0000" "490 340 #ff0000" "600 250 #009900" "204 250 #999999"; do
    set -- $p
    grim -g "$1,$2 1x1" "$work/pixel.png"
    [ "$("$tool" pixel "$work/pixel.png" 0 0)" = "$3" ] || fail "hover: not $3 at $1,$2"
done
key Escape
wait_for 5 capture_closed

# A click in whole-window mode copies sway's rectangle of the window.
pick_window() {
    key space
    click_at 500 350
}
set -- $(sway_window '^korvel-fixture$')
grim_capture window "$1" "$2" "$3" "$4" pick_window

# With "复制后退出截图" off: a pin shows its file's pixels where sway has it, on
# every workspace; a rectangle, undone and redone, and saved as copied.
restart_korvel copyCloses=false
park
grim_rect "$work/in.png" 450 300 160 120
"$korvel" --pin "$work/in.png" || fail "--pin did not hand over"
wait_for 5 test -s "$diag/pins.txt"
set -- $(cat "$diag/pins.txt")
wait_for 5 sway_at '^Korvel · 贴图$' "$1" "$2" "$3" "$4"
swaymsg -t get_tree | grep -q '"sticky": true' || fail "the pin is not on every workspace"
sleep 0.3
grim_rect "$work/pinned.png" "$1" "$2" "$3" "$4"
same_pixels "$work/pinned.png" "$work/in.png" || fail "the pin does not show the file's pixels"
click_at $(($1 + 10)) $(($2 + 10))
key Escape
wait_for 5 sh -c "! swaymsg -t get_tree | grep -q 'Korvel · 贴图'"

park
begin_capture
drag 250 200 650 500
copy_to "$work/plain.png"
overlays_shown 1 || fail "copying closed the capture with copyCloses off"
expect_png "$work/plain.png" 400x300
# The toolbar's button: wtype's keys are not at the positions Shift+1 goes by.
click_widget button "矩形"
drag 300 250 400 350
copy_to "$work/marked.png"
! same_pixels "$work/marked.png" "$work/plain.png" || fail "the rectangle left no mark"
copy_to "$work/undone.png" ctrl+z
same_pixels "$work/undone.png" "$work/plain.png" || fail "Ctrl+Z left the mark"
copy_to "$work/redone.png" ctrl+shift+z
same_pixels "$work/redone.png" "$work/marked.png" || fail "Ctrl+Shift+Z did not bring the mark back"
click_widget button "保存"
wait_for 10 sway_window '^保存截图$'
# Keys typed before the panel has the keyboard would be lost: it is given it.
swaymsg -q '[title="^保存截图$"] focus'
sleep 1
key ctrl+a
wtype -s 150 -d 5 "$work/saved.png"
key Return
wait_for 10 test -s "$work/saved.png"
wait_for 5 capture_closed
same_pixels "$work/saved.png" "$work/marked.png" || fail "the saved file is not the marked image"

# At output scale 2 a drag copies the output's own pixels.
restart_korvel
swaymsg -q output HEADLESS-1 scale 2
swaymsg -q output HEADLESS-2 position 960 0
place_window '^korvel-fixture$' 100 100
sleep 1
park() { pointer "move 1800 800"; }
copy_drag 250 150 450 300 scaled
expect_png "$work/scaled.png" 400x300
alive
echo PASS
