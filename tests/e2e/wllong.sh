# Long captures on headless sway: automatically, at scale 2 by hand and then automatically, by
# hand across two outputs; every copy is exactly the document's pixels.
. "$KORVEL_TESTS/wllib.sh"
# The fixture has the keyboard and lies above the panel where they meet: a click on the control
# panel's corner (the copy button's) gives both back.
focus_panel() {
    set -- $(panel_button "复制 · Enter")
    [ $# = 4 ] || fail "no control panel in the widget list"
    click_at $(($1 + 4)) $(($2 + 4))
    sleep 0.5
}
quiet_start
start_korvel

usual_fixture
start_usual_region
click_widget button "自动滚动"
expect_shown 5 "自动向下滚动中；空格停止，Enter 复制。"
# The user's wheel, seen only in the frames (far more rows than the steps posted), stops
# automatic scrolling once the long image has 640 rows or more; started again, it goes on.
wait_for 20 grep -qP '^label\t560 × (6[4-9]\d|[7-9]\d\d|\d{4}) px\t' "$diag/widgets.txt"
wheel 5
expect_shown 5 "已切换手动滚动。"
click_widget button "自动滚动"
expect_shown 40 "$stopped_text"
wait_for 2 has_widget button "自动滚动"
# At the end the viewport shows rows 1840…2399; the region's last row is 2279.
copy_long automatic 560 2240 40 40

# At scale 2 the frames hold the output's own pixels: by hand, then to the end.
fixture_at_scale_2
start_usual_region
wheel_to "1120 × 2000 px"
click_widget button "自动滚动"
expect_shown 40 "$stopped_text"
copy_long scaled 1120 4480 80 80

# Most of the window on the first output, the region on its part on the second: the stream is
# the second's, the wheel stays on the first, and the panels, on the second, above the window.
swaymsg -q output HEADLESS-1 mode 1920x1080 scale 1
fixture_x=1520 usual_fixture
start_long_capture $((cx + 420)) $((cy + 80)) $((cx + 620)) $((cy + 480))
wheel_to "200 × 1000 px"
shown "已拼接。继续滚动，或直接复制、保存。" || fail "no stitch reported"
copy_long across 200 1000 420 40
alive
echo PASS
