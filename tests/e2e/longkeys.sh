# Scrolled by hand with the wheel (60 rows a click), then Space, Enter and
# Esc typed into the fixture reach the long capture and not the fixture:
# Space pauses (scrolling then adds nothing) and resumes (the
# rows scrolled meanwhile are picked up), Enter copies, Esc closes without
# copying, after which a new capture can start.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/longsession.sh"

start_usual_capture
wheel 3 5
wait_for 10 dimensions_are "560 × 580 px"
shown "已拼接。继续滚动，或直接复制、保存。" || fail "no stitch reported"

wait_for 5 fixture_focused
xdotool key space
expect_shown 5 "已停止，已有内容保留。点开始继续，或复制、保存、编辑。"
xdotool click --repeat 2 --delay 150 5
sleep 0.5
dimensions_are "560 × 580 px" || fail "scrolling while paused changed the image"
xdotool key space
expect_shown 5 "继续滚动原窗口，或开启自动滚动。"
wait_for 10 dimensions_are "560 × 700 px"

xdotool key Return
paste_long_png "$work/long.png"
expect_document_part "$work/long.png" 560 700 40 40

# Esc closes the next one and leaves the clipboard alone.
start_usual_region
wait_for 5 fixture_focused
xdotool key Escape
wait_for 10 sh -c "! grep -qP '^window\tKorvel · 长截图\t' '$diag/widgets.txt'"
xclip -selection clipboard -t image/png -o >"$work/after.png" || fail "no PNG on the clipboard"
cmp -s "$work/long.png" "$work/after.png" || fail "Esc changed the clipboard"
begin_capture
xdotool key Escape
kill -0 "$korvel_pid" || fail "korvel exited"
echo PASS
