# A long capture that starts by scrolling up: the capture turns to the
# upward direction, automatic scrolling then goes up ("自动向上滚动中") until
# the document's top, and the copy reads top to bottom, pixel for pixel.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/longsession.sh"

# The viewport starts 1,200 rows into the document: the region shows rows
# 1240…1639.
start_usual_capture --offset 1200
wheel 2 4
wait_for 10 dimensions_are "560 × 520 px"
click_widget button "自动滚动"
expect_shown 5 "自动向上滚动中；空格停止，Enter 复制。"
expect_shown 40 "画面未变化，自动滚动已停止。可手动继续，或直接复制。"

# At the top the region shows rows 40…439.
wait_for 5 fixture_focused
xdotool key Return
paste_long_png "$work/long.png"
expect_document_part "$work/long.png" 560 1600 40 40
echo PASS
