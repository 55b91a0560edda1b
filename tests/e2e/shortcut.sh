# Control-1 captures; after the dialog records another combination the old one
# no longer captures and the new one does, also after a restart.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/session.sh"
trap 'stop_korvel' EXIT

start_korvel
xdotool key ctrl+1
expect_capture

choose_menu_item 2
expect_alert "设置截图快捷键|请按下组合键，需包含 ⌘、⌥ 或 ⌃。"
sleep 0.5
# Shift alone is no shortcut; Control-Shift-A is.
xdotool key shift+b
xdotool key ctrl+shift+a
sleep 0.2
xdotool key Return
wait_for 5 grep -q 'captureShortcutLabel=' "$XDG_CONFIG_HOME/Korvel/Korvel.conf"
grep -qx 'captureShortcutKeyCode=0' "$XDG_CONFIG_HOME/Korvel/Korvel.conf" || fail "stored key code"
grep -qx 'captureShortcutModifiers=4608' "$XDG_CONFIG_HOME/Korvel/Korvel.conf" || fail "stored modifiers"
expect_capture_item "截图  ⌃⇧A"

xdotool key ctrl+1
expect_no_capture "the old shortcut still captures"
xdotool key ctrl+shift+a
expect_capture

stop_korvel
start_korvel
expect_capture_item "截图  ⌃⇧A"
xdotool key ctrl+1
expect_no_capture "the old shortcut captures after a restart"
xdotool key ctrl+shift+a
expect_capture

# Escape closes the dialog without changes.
choose_menu_item 2
expect_alert "设置截图快捷键|请按下组合键，需包含 ⌘、⌥ 或 ⌃。"
sleep 0.5
xdotool key Escape
sleep 0.5
expect_capture_item "截图  ⌃⇧A"
echo PASS
