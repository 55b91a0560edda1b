# Scrolling back during a long capture: with "回滚裁剪" on (the default) the
# long image loses the rows scrolled back over; with it off, scrolling back
# breaks the match and keeps the image, and scrolling on again finds the
# place where it left off.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/longsession.sh"

start_usual_capture
wheel 8 5
wait_for 10 dimensions_are "560 × 880 px"
xdotool click --repeat 3 --delay 150 4
wait_for 10 dimensions_are "560 × 700 px"
shown "已按回滚位置裁剪，可继续滚动。" || fail "no crop reported"

click_widget button "回滚裁剪"
forget_shown
wheel 2 4
expect_shown 10 "尚未匹配，已有内容已保留。请沿刚才滚动的反方向稍作回滚；预览红框表示匹配中断。"
sleep 0.3 # widgets.txt follows every 100 ms
dimensions_are "560 × 700 px" || fail "scrolling back without the crop changed the image"
xdotool click --repeat 2 --delay 150 5
expect_shown 10 "已回到匹配位置，可继续滚动。"
sleep 0.3 # widgets.txt follows every 100 ms
dimensions_are "560 × 700 px" || fail "scrolling on to the old end changed the image"

wait_for 5 fixture_focused
xdotool key Return
paste_long_png "$work/long.png"
expect_document_part "$work/long.png" 560 700 40 40
echo PASS
