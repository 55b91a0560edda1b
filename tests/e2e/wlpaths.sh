# Pin, annotation and save through the real korvel on headless sway: a pin
# shows its file's pixels where sway reports it, on every workspace; a drawn
# rectangle changes the copy, Ctrl+Z takes it away and Ctrl+Shift+Z brings
# it back; the saved file is the copied image.
. "$KORVEL_TESTS/wllib.sh"
work="$KORVEL_SESSION_DIR/paths"
mkdir -p "$work"
"$fixture" 0 0 600 400 &
fixture_pid=$!
place_window '^korvel-fixture$' 200 150
quiet_start 'copyCloses=false
'
start_korvel
pointer "move 1500 900"

# --- Pin ------------------------------------------------------------------------
grim_rect "$work/in.png" 450 300 160 120
"$korvel" --pin "$work/in.png" || fail "--pin did not hand over"
wait_for 5 test -s "$diag/pins.txt"
set -- $(cat "$diag/pins.txt")
wait_for 5 sh -c "swaymsg -t get_tree | '$tool' sway-window '^Korvel · 贴图\$' | grep -q '^$1 $2 $3 $4 '"
swaymsg -t get_tree | grep -q '"sticky": true' || fail "the pin is not on every workspace"
sleep 0.3
grim_rect "$work/pinned.png" "$1" "$2" "$3" "$4"
same_pixels "$work/pinned.png" "$work/in.png" || fail "the pin does not show the file's pixels"
click_at $(($1 + 10)) $(($2 + 10))
key Escape
wait_for 5 sh -c "! swaymsg -t get_tree | grep -q 'Korvel · 贴图'"

# --- Annotation, undo, save --------------------------------------------------------
pointer "move 1500 900"
begin_capture
drag 250 200 650 500
key Return
sleep 0.3
overlays_shown 1 || fail "copying closed the capture with copyCloses off"
paste_png "$work/plain.png"
[ "$(png_size "$work/plain.png")" = 400x300 ] || fail "selection copy is $(png_size "$work/plain.png")"
# wtype's keyboard has keys of its own numbering, not a keyboard's
# positions that Shift+1 goes by: the toolbar's button instead.
click_widget button "矩形"
drag 300 250 400 350
key Return
sleep 0.3
paste_png "$work/marked.png"
! same_pixels "$work/marked.png" "$work/plain.png" || fail "the rectangle left no mark"
key ctrl+z
key Return
sleep 0.3
paste_png "$work/undone.png"
same_pixels "$work/undone.png" "$work/plain.png" || fail "Ctrl+Z left the mark"
key ctrl+shift+z
key Return
sleep 0.3
paste_png "$work/redone.png"
same_pixels "$work/redone.png" "$work/marked.png" || fail "Ctrl+Shift+Z did not bring the mark back"
click_widget button "保存"
wait_for 10 sway_window '^保存截图$'
sleep 0.5
key ctrl+a
type_text "$work/saved.png"
key Return
wait_for 10 test -s "$work/saved.png"
wait_for 5 capture_closed
same_pixels "$work/saved.png" "$work/marked.png" || fail "the saved file is not the marked image"
kill -0 "$korvel_pid" || fail "korvel exited"
echo PASS
