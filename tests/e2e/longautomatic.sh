# A long capture scrolled by korvel itself, down to the document's end: it
# stops there by itself, Enter in the fixture copies, and the copy is the
# document's rows under the region from its first to its last position,
# pixel for pixel (the fixture moves whole pixels and draws without
# smoothing, so no difference is allowed).
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/longsession.sh"

# The viewport begins below the fixture's 40-row header.
start_usual_capture
fixture_focused || fail "the fixture does not have the keyboard"
click_widget button "自动滚动"
expect_shown 5 "自动向下滚动中；空格停止，Enter 复制。"
expect_shown 40 "画面未变化，自动滚动已停止。可手动继续，或直接复制。"
# widgets.txt follows every 100 ms; the label was noted as it was painted.
wait_for 2 has_widget button "自动滚动"

# At the end the viewport shows rows 1840…2399; the region's last row is 2279.
wait_for 5 fixture_focused
xdotool key Return
paste_long_png "$work/long.png"
expect_document_part "$work/long.png" 560 2240 40 40
kill -0 "$korvel_pid" || fail "korvel exited"
echo PASS
