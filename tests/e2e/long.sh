# Long captures of the scrolling fixture, one scene after another in one
# korvel, each copy held to the fixture's document pixel for pixel (the
# fixture moves whole pixels and draws without smoothing, so no difference is
# allowed).
. "$(dirname "$0")/lib.sh"
# copy_long W H X Y: Return in the fixture copies W × H of the document at (X, Y).
copy_long() {
    wait_for 5 fixture_focused
    key Return
    paste_long_png "$work/long.png"
    expect_document_part "$work/long.png" "$@"
}

# --- Scrolled by korvel itself down to the document's end, where it stops ----------
start_usual_capture
fixture_focused || fail "the fixture does not have the keyboard"
click_widget button "自动滚动"
expect_shown 5 "自动向下滚动中；空格停止，Enter 复制。"
expect_shown 40 "$stopped_text"
# The label was noted as it was painted; widgets.txt follows.
wait_for 2 has_widget button "自动滚动"
# At the end the viewport shows rows 1840…2399; the region's last row is 2279.
copy_long 560 2240 40 40

# --- Started by scrolling up: it turns upwards and goes up to the top ---------------
# The viewport starts 1,200 rows in: the region shows rows 1240…1639.
start_usual_capture --offset 1200
wheel 2 4
wait_for 10 dimensions_are "560 × 520 px"
click_widget button "自动滚动"
expect_shown 5 "自动向上滚动中；空格停止，Enter 复制。"
expect_shown 40 "$stopped_text"
copy_long 560 1600 40 40

# --- Scrolling back: with "回滚裁剪" on (the default) the image loses the rows
# scrolled back over; off, scrolling back breaks the match and keeps the image,
# and scrolling on again finds the place where it left off.
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

# --- Keys typed into the fixture reach the capture, not the fixture: Space
# pauses (scrolling then adds nothing) and resumes (the rows scrolled meanwhile
# are picked up), Enter copies, Esc closes without copying.
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

# --- The fixture closed midway: the capture says so and keeps what it has, which
# the copy button still copies.
start_usual_capture
wheel 4 5
wait_for 10 dimensions_are "560 × 640 px"
kill "$fixture_pid"
expect_shown 10 "目标窗口已移动、缩放或关闭。 已有内容保留，可复制、保存或编辑。"
click_widget button "复制 · Enter"
paste_long_png "$work/long.png"
expect_document_part "$work/long.png" 560 640 40 40

# --- A region over the fixture's sticky header: the header stays put while the
# document scrolls under it, so the image shows it once, on top.
start_fixture --window 200,100,640,600 --length 2400 --step 60
# Client rows 10…479: 30 header rows, then document rows 0…439.
"$tool" snapshot-png "$work/header.png" $((cx + 40)) $((cy + 10)) 560 30
start_long_capture $((cx + 40)) $((cy + 10)) $((cx + 600)) $((cy + 480))
wheel 10 5
wait_for 10 dimensions_are "560 × 1070 px"
wait_for 5 fixture_focused
key Return
paste_long_png "$work/long.png"
expect_png "$work/long.png" 560x1070
"$tool" inside "$work/header.png" "$work/long.png" 0 0 >/dev/null || fail "the header is not on top"
"$tool" crop "$work/long.png" 0 30 560 1040 "$work/body.png"
expect_document_part "$work/body.png" 560 1040 40 0

# --- Sideways: the direction pop-up turned to "横向" by the wheel over it, Space
# in the fixture starts, automatic scrolling to the right until the end.
# A 900 × 360 viewport on a document 3,000 columns long.
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
click_widget button "自动滚动"
expect_shown 5 "自动向右滚动中；空格停止，Enter 复制。"
expect_shown 40 "$stopped_text"
# At the end the viewport shows columns 2100…2999; the region's last is 2739.
copy_long 2700 280 40 40
alive
echo PASS
