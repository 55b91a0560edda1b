# A region that takes in the fixture's sticky header: the header stays put
# while the document scrolls under it, so the long image shows it once, at
# the top, followed by the document's rows, pixel for pixel.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/longsession.sh"

start_fixture --window 200,100,640,600 --length 2400 --step 60
start_korvel
# Client rows 10…479: 30 header rows, then document rows 0…439.
"$tool" snapshot-png "$work/header.png" $((cx + 40)) $((cy + 10)) 560 30
start_long_capture $((cx + 40)) $((cy + 10)) $((cx + 600)) $((cy + 480))
wheel 10 5
wait_for 10 dimensions_are "560 × 1070 px"
wait_for 5 fixture_focused
xdotool key Return
paste_long_png "$work/long.png"
[ "$(png_size "$work/long.png")" = "560x1070" ] || fail "the long image is $(png_size "$work/long.png")"
"$tool" inside "$work/header.png" "$work/long.png" 0 0 >/dev/null || fail "the header is not on top"
"$tool" crop "$work/long.png" 0 30 560 1040 "$work/body.png" || fail "cannot cut the body"
expect_document_part "$work/body.png" 560 1040 40 0
echo PASS
