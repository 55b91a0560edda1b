# The editor's text recognition (Shift+C on a locked region) hides the capture
# and opens the result window; Escape there gives the capture back.
. "$(dirname "$0")/lib.sh"

show_fixture 200 150 600 400
start_korvel
begin_capture
# Drag a free rectangle over the fixture, which locks it for editing.
drag 300 250 500 400
sleep 0.5
xdotool key shift+c
wait_for 15 sh -c "xdotool search --onlyvisible --name '^Korvel · 识别文字\$'"
# The fixture holds no text: the window stays open, even for a quick copy.
sleep 2
xdotool search --onlyvisible --name '^Korvel · 识别文字$' >/dev/null || fail "window closed by itself"
xdotool key Escape
wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Korvel · 识别文字\$'"
# The overlays are back; Escape ends the capture.
wait_for 5 overlay_shown
sleep 0.3
xdotool key Escape
expect_closed
echo PASS
