# A sideways long capture: the direction pop-up set to "横向" (by the wheel
# over it), Space in the fixture to start, automatic scrolling to the right
# until the document ends; the copy is the document's columns under the
# region, pixel for pixel.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/longsession.sh"

# A 900 × 360 viewport on a document 3,000 columns long.
start_fixture --horizontal --window 100,100,900,400 --length 3000 --step 60
start_korvel
start_long_capture $((cx + 40)) $((cy + 80)) $((cx + 640)) $((cy + 360))
forget_shown
wait_for 10 has_widget popup "纵向"
xdotool mousemove $(widget_at popup "纵向") click 5
expect_shown 5 "方向已切换，点开始截取。"
wait_for 5 has_widget popup "横向"
wait_for 5 fixture_focused
xdotool key space
expect_shown 10 "$ready_text"
click_widget button "自动滚动"
expect_shown 5 "自动向右滚动中；空格停止，Enter 复制。"
expect_shown 40 "画面未变化，自动滚动已停止。可手动继续，或直接复制。"

# At the end the viewport shows columns 2100…2999; the region's last is 2739.
wait_for 5 fixture_focused
xdotool key Return
paste_long_png "$work/long.png"
expect_document_part "$work/long.png" 2700 280 40 40
echo PASS
