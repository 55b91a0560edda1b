# Korvel on headless sway, against grim, wl-paste and swaymsg: it starts
# natively, says once how to bind the capture key and stays up; a capture
# freezes both outputs exactly as grim sees them; a drag on each output copies
# exactly the pixels under it; hovering the fixture's panel highlights it; a
# click in whole-window mode copies the window as sway reports it. A pin shows
# its file's pixels where sway reports it, on every workspace; a drawn
# rectangle changes the copy, Ctrl+Z takes it away and Ctrl+Shift+Z brings it
# back; the saved file is the copied image. At output scale 2 a drag copies
# the output's own pixels.
. "$KORVEL_TESTS/wllib.sh"
"$fixture" 0 0 600 400 &
fixture_pid=$!
place_window '^korvel-fixture$' 200 150

start_korvel
wait_for 10 grep -qF "bindsym Ctrl+1 exec korvel --capture" "$diag/alerts.txt"
# The alert is listed once it is shown, a moment before sway maps it and
# gives it the keyboard.
wait_for 10 swaymsg -q '[app_id="^korvel$" floating] focus'
key Return
sleep 1
kill -0 "$korvel_pid" || fail "korvel exited"
[ "$(grep -c . "$diag/alerts.txt")" = 1 ] || fail "alerts: $(cat "$diag/alerts.txt")"

# The cursor is drawn into every view of the screen: it stays parked away
# from every rectangle compared.
park() { pointer "move 1500 900"; }
screen_pixel() { grim -g "$1,$2 1x1" "$work/pixel.png" && "$tool" pixel "$work/pixel.png" 0 0; }
expect_pixel() { # x y colour what
    got="$(screen_pixel "$1" "$2")"
    [ "$got" = "$3" ] || fail "$4: $got at $1,$2, expected $3"
}
# copy_drag X0 Y0 X1 Y1 NAME: the drag's copy equals grim's view before it.
copy_drag() {
    park
    grim_rect "$work/$5-grim.png" "$1" "$2" $(($3 - $1)) $(($4 - $2))
    begin_capture
    drag "$1" "$2" "$3" "$4"
    key Return
    wait_for 5 capture_closed
    paste_png "$work/$5.png"
    same_pixels "$work/$5.png" "$work/$5-grim.png" ||
        fail "$5: the copy ($(png_size "$work/$5.png")) differs from grim's view"
}

# --- Both outputs frozen as they are ------------------------------------------
park
grim -o HEADLESS-1 "$work/output-1.png"
grim -o HEADLESS-2 "$work/output-2.png"
begin_capture
same_pixels "$diag/snapshot-0.png" "$work/output-1.png" || fail "the first output's frozen image"
same_pixels "$diag/snapshot-1.png" "$work/output-2.png" || fail "the second output's frozen image"
key Escape
wait_for 5 capture_closed

# --- A drag on each output ------------------------------------------------------
copy_drag 700 400 900 520 first
copy_drag 2000 900 2400 1020 second

# --- Hover: the fixture's red panel, not its window -----------------------------
park
begin_capture
pointer "move 300 250" "sleep 600"
expect_pixel 220 170 "#ff0000" "highlighted panel"
expect_pixel 490 340 "#ff0000" "highlighted panel's far corner"
expect_pixel 600 250 "#009900" "green quadrant outside the highlight"
expect_pixel 204 250 "#999999" "window border outside the highlight"

# --- A click in whole-window mode: sway's rectangle of the window ---------------
key Escape
wait_for 5 capture_closed
park
set -- $(sway_window '^korvel-fixture$')
grim_rect "$work/window-grim.png" "$1" "$2" "$3" "$4"
begin_capture
key space
click_at 500 350
key Return
wait_for 5 capture_closed
paste_png "$work/window.png"
same_pixels "$work/window.png" "$work/window-grim.png" ||
    fail "the window's copy ($(png_size "$work/window.png")) is not sway's $3x$4 at $1,$2"

# --- With "复制后退出截图" off: pin, annotation, undo and save ----------------------
stop_korvel
quiet_start copyCloses=false
start_korvel
pointer "move 1500 900"
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

pointer "move 1500 900"
begin_capture
drag 250 200 650 500
copy_to "$work/plain.png"
overlays_shown 1 || fail "copying closed the capture with copyCloses off"
expect_png "$work/plain.png" 400x300
# wtype's keyboard has keys of its own numbering, not a keyboard's
# positions that Shift+1 goes by: the toolbar's button instead.
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
type_text "$work/saved.png"
key Return
wait_for 10 test -s "$work/saved.png"
wait_for 5 capture_closed
same_pixels "$work/saved.png" "$work/marked.png" || fail "the saved file is not the marked image"
stop_korvel
quiet_start
start_korvel

# --- Output scale 2 ----------------------------------------------------------------
swaymsg -q output HEADLESS-1 scale 2
swaymsg -q output HEADLESS-2 position 960 0
place_window '^korvel-fixture$' 100 100
sleep 1
park() { pointer "move 1800 800"; }
copy_drag 250 150 450 300 scaled
[ "$(png_size "$work/scaled.png")" = 400x300 ] || fail "scale 2 copy is $(png_size "$work/scaled.png")"
alive
echo PASS
