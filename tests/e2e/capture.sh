# Captures by the tray menu and the shortcut over the four-colour fixture: what is
# frozen, hovered, copied, recognised, marked, saved and kept in the history.
. "$(dirname "$0")/lib.sh"
pictures="$KORVEL_SESSION_DIR/pictures"
history="$XDG_DATA_HOME/Dastra/History"
mkdir -p "$pictures"
echo "XDG_PICTURES_DIR=\"$pictures\"" >"$XDG_CONFIG_HOME/user-dirs.dirs"
show_fixture 200 150 600 400
start_korvel

# --- The tray menu; "截图" freezes both monitors as shown, the fixture at its frame ---
open_menu
expect_eq "$(cat "$diag/menu.txt")" "$(printf '%s\n' "截图  Ctrl+1" "设置截图快捷键…" "截图偏好…" \
    "截图历史…" "-" "开机启动" "自动检查更新" "检查更新…" "更新日志" "-" "退出Korvel")" menu
xdotool key Down Return
wait_for 10 test -s "$diag/captures.txt"
expect_eq "$(cat "$diag/captures.txt")" 2 snapshots
# Escape ends the capture, so the live screen can be compared with the frozen one.
expect_capture
"$tool" compare "$diag/snapshot-0.png" 0 0 || fail "display 0 differs from the screen"
"$tool" compare "$diag/snapshot-1.png" 1920 0 || fail "display 1 differs from the screen"
# Each display's frame, then its windows: display-local, up from its bottom edge.
expect_eq "$(cat "$diag/snapshot-0.txt")" "$(printf '0 0 1920 1080\n%s' "$fx $((1080 - fy - fh)) $fw $fh")" display-0
expect_eq "$(cat "$diag/snapshot-1.txt")" "1920 56 1280 1024" display-1
expect_eq "$("$tool" pixel "$diag/snapshot-0.png" $((cx + 100)) $((cy + 100)))" "#ff0000" red
expect_eq "$("$tool" pixel "$diag/snapshot-0.png" $((cx + 500)) $((cy + 300)))" "#ffff00" yellow

# --- Hovering highlights the red panel (client pixels 10…299 × 10…199); the wheel
# steps up to the window and down to the panel again ---------------------------------
begin_capture
hover $((cx + 100)) $((cy + 100)) 0.6
expect_pixel $((cx + 290)) $((cy + 190)) "#ff0000" "highlighted panel's far corner"
for step in "none #009900 #999999" "4 #00ff00 #ffffff" "5 #009900 #999999"; do
    set -- $step
    [ "$1" = none ] || xdotool click "$1" sleep 0.3
    expect_pixel $((cx + 20)) $((cy + 20)) "#ff0000" "wheel $1: the red panel"
    expect_pixel $((cx + 400)) $((cy + 100)) "$2" "wheel $1: the green quadrant"
    expect_pixel $((cx + 4)) $((cy + 100)) "$3" "wheel $1: the window's border"
done
# The loupe sits 22 points right of and below the pointer; its zoom area's
# centre square (8 × 8) shows the pointer's pixel, here the blue quadrant's first row.
hover $((cx + 250)) $((cy + 200)) 0.4
expect_pixel $((cx + 250 + 22 + 92)) $((cy + 200 + 22 + 60)) "#0000ff" "loupe centre"
# Whole-window mode: a click on the frame's top row copies the window's frozen
# pixels, and the copy outlives the closed capture.
copy_window $((fx + 100)) "$fy" "${fw}x${fh}" "$diag/snapshot-0.png" "$fx" "$fy"

# --- Shift+C on a region opens text recognition, open without text; Escape returns ---
begin_capture
drag 300 250 500 400
xdotool sleep 0.5 key shift+c
named_window "Korvel · 识别文字" >/dev/null
sleep 2
window_gone "Korvel · 识别文字" && fail "the recognition window closed by itself"
xdotool key Escape
wait_for 5 window_gone "Korvel · 识别文字"
wait_for 5 overlay_shown
# A double click with the mosaic brush keeps the capture.
xdotool sleep 0.3 key shift+7 mousemove 400 300 click --repeat 2 --delay 40 1 sleep 0.5
overlay_shown || fail "a double click with the mosaic brush closed the capture"
xdotool key Escape
expect_closed

# --- "复制后退出截图" off, history on: copies keep the capture and are recorded; marks
# survive undo and redo; the Chinese save dialog writes "shot.jpg" as "shot.jpg.png" ---
stop_korvel
settings copyCloses=false historyEnabled=true
start_korvel
begin_capture
drag $((cx + 50)) $((cy + 50)) $((cx + 450)) $((cy + 350))
copy_to "$work/plain.png"
overlay_shown || fail "copying closed the capture with copyCloses off"
expect_png "$work/plain.png" 400x300
wait_for 5 sh -c "ls '$history'/*.png"
expect_eq "$(ls "$history" | wc -l)" 1 "files in the history"
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

save_as() { # the save dialog, once open, given a name
    wait_for 10 on_screen "查找范围："
    xdotool key ctrl+a type --delay 5 "$1"
    xdotool key Return
}
xdotool key ctrl+s
wait_for 10 on_screen "查找范围："
! on_screen "Look in" && on_screen "文件类型：" || fail "the save dialog is not all Chinese"
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
save_as shot.jpg
wait_for 5 on_screen "shot.jpg.png 已存在"
xdotool key Escape
wait_for 5 off_screen "shot.jpg.png 已存在" # or the name is typed into the question
save_as missing/x.png
wait_for 5 on_screen "保存失败：无法写入“x.png”，文件夹不存在。"

# --- History of three captures, an undecodable file and a stray one: "删除" removes
# the newest, "清空历史" (Return) every entry but not the stray file; Ctrl+Q quits ---
stop_korvel
rm -rf "$history"
mkdir -p "$history"
for n in 1 2 3; do
    "$tool" snapshot-png "$work/shot.png" 0 0 $((60 + 20 * n)) 60
    mv "$work/shot.png" "$history/0000170000000${n}000000-$(sha256sum "$work/shot.png" | cut -d' ' -f1).png"
done
newest="$(ls "$history" | sort -r | head -1)"
printf 'not a png' >"$history/00001700000002500000-$(printf '%064d' 0).png"
printf 'mine' >"$history/notes.txt"
start_korvel
# With the window manager held, the history window is shown but not yet framed:
# none of its buttons may be offered at a place the frame will move.
open_menu
kill -STOP "$KORVEL_WM_PID"
xdotool key $(yes Down | head -n 4) Return sleep 1
unframed="$(has_widget button "删除" && echo listed || echo absent)"
kill -CONT "$KORVEL_WM_PID"
expect_eq "$unframed" absent "the unframed window's button"
window="$(named_window "Korvel · 截图历史")"
click_widget button "删除"
wait_for 5 test ! -e "$history/$newest"
expect_eq "$(ls "$history" | grep -c '\.png$')" 3 "entries after deleting"
click_widget button "清空历史"
wait_for 10 has_widget button "清空"
xdotool sleep 0.3 key Return
wait_for 5 sh -c "[ \$(ls '$history' | grep -c '\\.png\$') = 0 ]"
expect_eq "$(cat "$history/notes.txt")" mine "the stray file"
xdotool windowactivate --sync "$window" key ctrl+q
# Gone, or a zombie nobody waited for yet.
wait_for 5 sh -c "! ps -o stat= -p $korvel_pid | grep -qv Z"
echo PASS
