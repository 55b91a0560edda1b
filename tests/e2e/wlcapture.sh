# Korvel on headless sway, against grim, wl-paste and swaymsg: the start-up hint, frozen outputs,
# drags on each output and at scale 2, whole window, pins, save.
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
[ "$(grep -c . "$diag/alerts.txt")" = 1 ] || fail "alerts: $(cat "$diag/alerts.txt")"

copy_drag 700 400 900 520 first
copy_drag 2000 900 2400 1020 second

# A click in whole-window mode copies sway's rectangle of the window.
# The pointer rests where park put it, on the first output, unseen by Korvel
# since the last capture ended on the second: Space picks where it is now.
pick_window() {
    key space
    click_at 500 350
}
set -- $(sway_window '^korvel-fixture$')
grim_capture window "$1" "$2" "$3" "$4" pick_window

# A pin shows its file's pixels where sway has it, on every workspace.
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

# The toolbar's save button, then the file's name and Return.
save_drag() {
    drag 250 200 650 500
    click_widget button "保存"
    wait_for 10 sway_window '^保存截图$'
    # Keys typed before the panel has the keyboard would be lost: it is given it.
    swaymsg -q '[title="^保存截图$"] focus'
    sleep 1
    key ctrl+a
    wtype -s 150 -d 5 "$work/saved.png"
}
collect="wait_for 10 test -s" grim_capture saved 250 200 400 300 save_drag

# At output scale 2 a drag copies the output's own pixels.
restart_korvel
swaymsg -q output HEADLESS-1 scale 2
swaymsg -q output HEADLESS-2 position 960 0
place_window '^korvel-fixture$' 100 100
# Parked on the second output, which takes the focus: the bar shows it before grim's views.
park() { pointer "move 1800 800"; }
park
sleep 1
copy_drag 250 150 450 300 scaled
expect_png "$work/scaled.png" 400x300
alive
echo PASS
