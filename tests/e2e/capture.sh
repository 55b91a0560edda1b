# One capture after another on the real program, from the tray menu and the
# shortcut, over the four-colour fixture: what is frozen, hovered, copied,
# recognised, marked, saved and kept in the history.
. "$(dirname "$0")/lib.sh"
pictures="$KORVEL_SESSION_DIR/pictures"
history="$XDG_DATA_HOME/Dastra/History"
mkdir -p "$pictures"
echo "XDG_PICTURES_DIR=\"$pictures\"" >"$XDG_CONFIG_HOME/user-dirs.dirs"
show_fixture 200 150 600 400
start_korvel

# --- The tray menu lists every item in order; "截图" freezes both monitors into
# snapshots equal to the screen, with the fixture listed at its true frame ------
open_menu
[ "$(cat "$diag/menu.txt")" = "$(printf '%s\n' "截图  Ctrl+1" "设置截图快捷键…" "截图偏好…" \
    "截图历史…" "-" "开机启动" "自动检查更新" "检查更新…" "更新日志" "-" "退出Korvel")" ] ||
    fail "menu: $(cat "$diag/menu.txt")"
xdotool key Down Return
wait_for 10 test -s "$diag/captures.txt"
[ "$(cat "$diag/captures.txt")" = 2 ] || fail "expected two snapshots"
# Escape ends the capture, so the live screen can be compared with the frozen one.
expect_capture
sleep 0.3
"$tool" compare "$diag/snapshot-0.png" 0 0 || fail "display 0 differs from the screen"
"$tool" compare "$diag/snapshot-1.png" 1920 0 || fail "display 1 differs from the screen"
[ "$(head -1 "$diag/snapshot-0.txt")" = "0 0 1920 1080" ] || fail "frame 0: $(head -1 "$diag/snapshot-0.txt")"
[ "$(head -1 "$diag/snapshot-1.txt")" = "1920 56 1280 1024" ] || fail "frame 1"
# Display-local coordinates run up from the display's bottom edge.
[ "$(tail -n +2 "$diag/snapshot-0.txt")" = "$fx $((1080 - fy - fh)) $fw $fh" ] ||
    fail "windows on display 0: '$(tail -n +2 "$diag/snapshot-0.txt")'"
[ "$(tail -n +2 "$diag/snapshot-1.txt")" = "" ] || fail "windows on display 1"
[ "$("$tool" pixel "$diag/snapshot-0.png" $((cx + 100)) $((cy + 100)))" = "#ff0000" ] || fail "red"
[ "$("$tool" pixel "$diag/snapshot-0.png" $((cx + 500)) $((cy + 300)))" = "#ffff00" ] || fail "yellow"

# --- Hovering highlights the fixture's panel; the wheel steps out to the window
# and back ------------------------------------------------------------------------
begin_capture
# The red quadrant spans client pixels 10…299 × 10…199.
xdotool mousemove $((cx + 100)) $((cy + 100))
sleep 0.6
expect_pixel $((cx + 20)) $((cy + 20)) "#ff0000" "highlighted panel"
expect_pixel $((cx + 290)) $((cy + 190)) "#ff0000" "highlighted panel's far corner"
expect_pixel $((cx + 400)) $((cy + 100)) "#009900" "green quadrant outside the highlight"
expect_pixel $((cx + 4)) $((cy + 100)) "#999999" "window border outside the highlight"
xdotool click 4
sleep 0.3
expect_pixel $((cx + 400)) $((cy + 100)) "#00ff00" "wheel up: the window"
expect_pixel $((cx + 4)) $((cy + 100)) "#ffffff" "wheel up: the window's border"
xdotool click 5
sleep 0.3
expect_pixel $((cx + 400)) $((cy + 100)) "#009900" "wheel down: the panel again"
expect_pixel $((cx + 20)) $((cy + 20)) "#ff0000" "wheel down: the panel again"

# The loupe sits 22 points right of and below the pointer; its zoom area's
# centre square (8 × 8) shows the pointer's pixel. On the blue quadrant's
# first row, right under the red one, that pixel is blue.
px=$((cx + 250)) py=$((cy + 200))
xdotool mousemove $px $py
sleep 0.4
expect_pixel $((px + 22 + 92)) $((py + 22 + 60)) "#0000ff" "loupe centre"
xdotool key alt+c
sleep 0.3
[ "$(xclip -selection clipboard -o)" = "#0000FF" ] || fail "colour code: $(xclip -selection clipboard -o)"

# --- Whole-window mode: a click on the frame's top row copies the window's frozen
# pixels, and the copy outlives the closed capture ---------------------------------
xdotool key space mousemove $((fx + 100)) "$fy" sleep 0.3 click 1 sleep 0.3 key Return
expect_copy "$work/window.png" "${fw}x${fh}" "$diag/snapshot-0.png" "$fx" "$fy"

# --- The shortcut again mid-capture, a tiny drag, Escape --------------------------
begin_capture
begin_capture
[ "$(xdotool search --onlyvisible --name '^Korvel$' | wc -l)" = 2 ] || fail "overlays pile up"
# Below 3 points a press is a click: on the desktop it takes the whole display.
xdotool mousemove 1000 700 mousedown 1 mousemove 1001 701 mousemove 1002 702 mouseup 1
sleep 0.3
[ "$(xdotool search --onlyvisible --name '^Korvel$' | wc -l)" = 2 ] || fail "a 2-point drag ended the capture"
xdotool key Escape
expect_closed

# --- A drag onto the second monitor stays on the first ----------------------------
begin_capture
drag 1800 500 2100 600
sleep 0.3
xdotool key Return
expect_copy "$work/drag.png" 120x100 "$diag/snapshot-0.png" 1800 500

# --- Text recognition (Shift+C on a locked region) hides the capture and opens
# its window, which stays open on a region without text; Escape there gives the
# capture back ----------------------------------------------------------------------
begin_capture
drag 300 250 500 400
sleep 0.5
xdotool key shift+c
wait_for 15 sh -c "xdotool search --onlyvisible --name '^Korvel · 识别文字\$'"
sleep 2
window_gone "Korvel · 识别文字" && fail "the recognition window closed by itself"
xdotool key Escape
wait_for 5 window_gone "Korvel · 识别文字"
wait_for 5 overlay_shown
sleep 0.3
# A double click with the mosaic brush keeps the capture.
xdotool key shift+7 mousemove 400 300 click --repeat 2 --delay 40 1
sleep 0.5
overlay_shown || fail "a double click with the mosaic brush closed the capture"
xdotool key Escape
expect_closed

# --- With "复制后退出截图" off and the history on: copies keep the capture and are
# recorded; marks survive undo and redo; the save dialog speaks Chinese and opens
# in the pictures folder, where "shot.jpg" is written as the copied image in
# "shot.jpg.png" ----------------------------------------------------------------------
stop_korvel
settings copyCloses=false historyEnabled=true
start_korvel
begin_capture
drag $((cx + 50)) $((cy + 50)) $((cx + 450)) $((cy + 350))
copy_to "$work/plain.png"
overlay_shown || fail "copying closed the capture with copyCloses off"
expect_png "$work/plain.png" 400x300
wait_for 5 sh -c "ls '$history'/*.png"
[ "$(ls "$history" | wc -l)" = 1 ] || fail "history holds $(ls "$history" | wc -l) files"
cmp -s "$work/plain.png" "$history/"*.png || fail "the history's file is not the copy"

xdotool key shift+1 # rectangle
drag $((cx + 100)) $((cy + 100)) $((cx + 200)) $((cy + 200))
xdotool key shift+3 # arrow
drag $((cx + 250)) $((cy + 120)) $((cx + 400)) $((cy + 300))
sleep 0.2
copy_to "$work/two.png"
copy_to "$work/one.png" ctrl+z
copy_to "$work/redone.png" ctrl+shift+z
! cmp -s "$work/plain.png" "$work/one.png" || fail "the rectangle left no mark"
! cmp -s "$work/one.png" "$work/two.png" || fail "undo changed nothing"
cmp -s "$work/two.png" "$work/redone.png" || fail "redo did not bring the arrow back"

save_as() {
    xdotool key ctrl+a type --delay 5 "$1"
    xdotool key Return
}
xdotool key ctrl+s
wait_for 10 on_screen "查找范围："
! on_screen "Look in" && on_screen "文件类型：" || fail "the save dialog is not all Chinese"
[ -z "${KORVEL_E2E_KEEP:-}" ] || "$tool" snapshot-png "$KORVEL_E2E_KEEP/save-dialog.png" 0 0 1920 1080
save_as shot.jpg
wait_for 10 test -s "$pictures/shot.jpg.png"
expect_closed
[ ! -e "$pictures/shot.jpg" ] || fail "shot.jpg written"
cmp -s "$pictures/shot.jpg.png" "$work/two.png" || fail "the saved file differs from the copied image"

# The same name again: the replace question names "shot.jpg.png"; a folder that
# does not exist fails the save, which says why.
begin_capture
drag 300 300 700 600
xdotool key ctrl+s
wait_for 10 on_screen "查找范围："
save_as shot.jpg
wait_for 5 on_screen "shot.jpg.png 已存在"
xdotool key Escape
save_as missing/x.png
wait_for 5 on_screen "保存失败：无法写入“x.png”，文件夹不存在。"

# --- The history window over three captures, a file that does not decode and one
# that is not an entry: "删除" removes exactly the selected (newest) capture,
# "清空历史" confirmed with Return every entry, the undecodable one included, and
# leaves the other file alone; Ctrl+Q there quits, as in every Korvel window -----
stop_korvel
rm -rf "$history"
mkdir -p "$history"
n=0
for size in "100 100" "120 80" "90 60"; do
    n=$((n + 1))
    "$tool" snapshot-png "$work/shot.png" 0 0 $size
    mv "$work/shot.png" "$history/0000170000000${n}000000-$(sha256sum "$work/shot.png" | cut -d' ' -f1).png"
done
newest="$(ls "$history" | sort -r | head -1)"
printf 'not a png' >"$history/00001700000002500000-$(printf '%064d' 0).png"
printf 'mine' >"$history/notes.txt"
entries() { ls "$history" | grep -c '\.png$' || true; }
start_korvel
choose_menu_item 4
window="$(named_window "Korvel · 截图历史")"
sleep 0.5
button_y=$(($(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p') - 32))
# "删除" and "清空历史" are the fifth and sixth buttons.
xdotool mousemove --window "$window" $((16 + 112 * 4 + 52)) "$button_y" click 1
wait_for 5 test ! -e "$history/$newest"
[ "$(entries)" = 3 ] || fail "deleting left $(entries) entries"
xdotool mousemove --window "$window" $((16 + 112 * 5 + 52)) "$button_y" click 1
sleep 1
xdotool key Return
wait_for 5 sh -c "[ \$(ls '$history' | grep -c '\\.png\$') = 0 ]"
[ "$(cat "$history/notes.txt")" = mine ] || fail "the stray file was touched"
xdotool windowactivate --sync "$window" key ctrl+q
# Gone, or a zombie nobody waited for yet.
wait_for 5 sh -c "! ps -o stat= -p $korvel_pid | grep -qv Z"
echo PASS
