# A long capture scrolled by hand with the wheel over the fixture: ten
# clicks of 60 rows give 600 new rows, and Enter in the fixture copies them,
# pixel for pixel.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/longsession.sh"

start_usual_capture
wheel 10 5
wait_for 10 dimensions_are "560 × 1000 px"
shown "已拼接。继续滚动，或直接复制、保存。" || fail "no stitch reported"
wait_for 5 fixture_focused
xdotool key Return
paste_long_png "$work/long.png"
expect_document_part "$work/long.png" 560 1000 40 40
echo PASS
