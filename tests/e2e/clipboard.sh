# A PNG copied by Korvel's clipboard service is read back byte for byte by
# another X client, also after the copying window has closed.
. "$(dirname "$0")/lib.sh"

work="$KORVEL_SESSION_DIR/clipboard"
mkdir -p "$work"
"$tool" snapshot-png "$work/in.png" >/dev/null || fail "no fixture image"
"$KORVEL_BUILD/tests/e2e/korvel_clipboardowner" "$work/in.png" "$work/ready" "$work/history" &
owner=$!
trap 'kill $owner 2>/dev/null || true' EXIT
wait_for 10 test -e "$work/ready"
wait_for 5 sh -c "! xdotool search --onlyvisible --name '^korvel-clipboard\$'"
xclip -selection clipboard -t TARGETS -o | grep -qx 'image/png' || fail "no image/png target"
xclip -selection clipboard -t image/png -o > "$work/out.png"
cmp -s "$work/in.png" "$work/out.png" || fail "pasted bytes differ"
# The copy was recorded once, byte for byte.
[ "$(ls "$work/history" | wc -l)" = 1 ] || fail "history holds $(ls "$work/history" | wc -l) files"
cmp -s "$work/in.png" "$work/history/"*.png || fail "history file differs"
echo PASS
