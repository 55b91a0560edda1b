# The fixture closed in the middle of a long capture: the capture says so
# and keeps what it has; the copy button still copies it, pixel for pixel.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/longsession.sh"

start_usual_capture
wheel 4 5
wait_for 10 dimensions_are "560 × 640 px"

kill "$fixture_pid"
wait "$fixture_pid" 2>/dev/null || true
expect_shown 10 "目标窗口已移动、缩放或关闭。 已有内容保留，可复制、保存或编辑。"
click_widget button "复制 · Enter"
paste_long_png "$work/long.png"
expect_document_part "$work/long.png" 560 640 40 40
kill -0 "$korvel_pid" || fail "korvel exited"
echo PASS
