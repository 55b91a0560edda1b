# Long captures of the scrolling fixture, scene after scene in one korvel, each copy
# equal to the document (it scrolls whole pixels unsmoothed: no difference is allowed).
. "$(dirname "$0")/lib.sh"
# copy_long W H X Y: Return in the fixture copies W × H of the document at (X, Y).
copy_long() {
    wait_for 5 fixture_focused
    key Return
    paste_long_png "$work/long.png"
    expect_document_part "$work/long.png" "$@"
}
# auto_scroll DIRECTION: automatic scrolling, until it stops at the document's end.
auto_scroll() {
    click_widget button "自动滚动"
    expect_shown 5 "自动向${1}滚动中；空格停止，Enter 复制。"
    expect_shown 40 "$stopped_text"
}

# --- Scrolled by korvel itself down to the document's end ---------------------------
start_usual_capture
fixture_focused || fail "the fixture does not have the keyboard"
auto_scroll 下
# The label was noted as it was painted; widgets.txt follows.
wait_for 2 has_widget button "自动滚动"
# At the end the viewport shows rows 1840…2399; the region's last row is 2279.
copy_long 560 2240 40 40

# --- Started by scrolling up from rows 1240…1639, it goes up to the top --------------
start_usual_capture --offset 1200
wheel 2 4
wait_for 10 dimensions_are "560 × 520 px"
auto_scroll 上
copy_long 560 1600 40 40

# --- Scrolling back: with "回滚裁剪" (the default) the image loses the rows scrolled
# back over; without, the match breaks, the image stays and scrolling on finds its place.
start_usual_capture
wheel 8 5
wait_for 10 dimensions_are "560 × 880 px"
wheel 3 4
wait_for 10 dimensions_are "560 × 700 px"
shown "已按回滚位置裁剪，可继续滚动。" || fail "no crop reported"
click_widget button "回滚裁剪"
forget_shown
wheel 2 4
expect_shown 10 "尚未匹配，已有内容已保留。请沿刚才滚动的反方向稍作回滚；预览红框表示匹配中断。"
sleep 0.3
dimensions_are "560 × 700 px" || fail "scrolling back without the crop changed the image"
wheel 2 5
expect_shown 10 "已回到匹配位置，可继续滚动。"
sleep 0.3
dimensions_are "560 × 700 px" || fail "scrolling on to the old end changed the image"
copy_long 560 700 40 40

# --- Keys in the fixture reach the capture: Space pauses (scrolling adds nothing) and
# resumes (picking up the rows scrolled meanwhile), Enter copies, Esc closes, copying nothing.
start_usual_capture
wheel 3 5
wait_for 10 dimensions_are "560 × 580 px"
shown "已拼接。继续滚动，或直接复制、保存。" || fail "no stitch reported"
wait_for 5 fixture_focused
key space
expect_shown 5 "已停止，已有内容保留。点开始继续，或复制、保存、编辑。"
wheel 2 5
sleep 0.5
dimensions_are "560 × 580 px" || fail "scrolling while paused changed the image"
key space
expect_shown 5 "继续滚动原窗口，或开启自动滚动。"
wait_for 10 dimensions_are "560 × 700 px"
copy_long 560 700 40 40
start_usual_region
wait_for 5 fixture_focused
key Escape
paste_long_png "$work/after.png"
cmp -s "$work/long.png" "$work/after.png" || fail "Esc changed the clipboard"
# A new capture can start.
begin_capture
key Escape
expect_closed

# --- The fixture closed midway: the capture says so; its copy button copies what it has.
start_usual_capture
wheel 4 5
wait_for 10 dimensions_are "560 × 640 px"
kill "$fixture_pid"
expect_shown 10 "目标窗口已移动、缩放或关闭。 已有内容保留，可复制、保存或编辑。"
click_widget button "复制 · Enter"
paste_long_png "$work/long.png"
expect_document_part "$work/long.png" 560 640 40 40

# --- Sideways, a 900 × 360 viewport on 3,000 columns: the wheel over the direction
# pop-up turns it to "横向", Space in the fixture starts, automatic scrolling goes right.
start_fixture --horizontal --window 100,100,900,400 --length 3000 --step 60
start_long_capture $((cx + 40)) $((cy + 80)) $((cx + 640)) $((cy + 360))
forget_shown
wait_for 10 has_widget popup "纵向"
xdotool mousemove $(widget_at popup "纵向") click 5
expect_shown 5 "方向已切换，点开始截取。"
wait_for 5 has_widget popup "横向"
wait_for 5 fixture_focused
key space
expect_shown 10 "$ready_text"
auto_scroll 右
# At the end the viewport shows columns 2100…2999; the region's last is 2739.
copy_long 2700 280 40 40
alive
echo PASS
