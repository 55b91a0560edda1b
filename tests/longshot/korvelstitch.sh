#!/bin/sh
# korvel-stitch end to end: frames drawn by stitchfixture, the real binary,
# its per-frame lines, exit codes and the composed PNG.
set -u
STITCH="$1"
FIXTURE="$2"
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_lines() { # name, actual file, expected text
    if ! printf '%s\n' "$3" | cmp -s - "$2"; then
        fail "$1: lines"; echo "--- expected"; printf '%s\n' "$3"; echo "--- actual"; cat "$2"
    fi
}

QT_QPA_PLATFORM=offscreen "$FIXTURE" write "$DIR" || { echo "FAIL: fixture"; exit 1; }

# Vertical frames with a repeat and a frame that skipped too far.
"$STITCH" -o "$DIR/v.png" "$DIR"/v1.png "$DIR"/v2.png "$DIR"/v3.png "$DIR"/v4.png \
    "$DIR"/v5.png "$DIR"/v6.png > "$DIR/v.out" 2> "$DIR/v.err"
[ $? -eq 0 ] || fail "vertical: exit status"
expect_lines vertical "$DIR/v.out" "1 first
2 appended 60
3 unchanged
4 appended 70
5 unmatched
6 appended 120"
"$FIXTURE" compare "$DIR/v.png" "$DIR/v-expected.png" || fail "vertical: composed image"

# Scrolling back with and without automatic crop.
"$STITCH" --auto-crop -o "$DIR/c.png" "$DIR"/c1.png "$DIR"/c2.png "$DIR"/c3.png "$DIR"/c4.png \
    > "$DIR/c.out" 2>&1 || fail "auto-crop: exit status"
expect_lines auto-crop "$DIR/c.out" "1 first
2 appended 100
3 appended 100
4 cropped 50"
"$FIXTURE" compare "$DIR/c.png" "$DIR/c-expected.png" || fail "auto-crop: composed image"
"$STITCH" -o "$DIR/n.png" "$DIR"/c1.png "$DIR"/c2.png "$DIR"/c3.png "$DIR"/c4.png \
    > "$DIR/n.out" 2>&1 || fail "no crop: exit status"
expect_lines "no crop" "$DIR/n.out" "1 first
2 appended 100
3 appended 100
4 unmatched"

# Horizontal.
"$STITCH" --horizontal -o "$DIR/h.png" "$DIR"/h1.png "$DIR"/h2.png "$DIR"/h3.png \
    > "$DIR/h.out" 2>&1 || fail "horizontal: exit status"
expect_lines horizontal "$DIR/h.out" "1 first
2 appended 120
3 appended 180"
"$FIXTURE" compare "$DIR/h.png" "$DIR/h-expected.png" || fail "horizontal: composed image"

# Later bad frames are reported by name and skipped; the image is still written.
"$STITCH" -o "$DIR/b.png" "$DIR"/v1.png "$DIR"/other-size.png "$DIR"/truncated.png \
    "$DIR"/empty.png "$DIR"/v2.png > "$DIR/b.out" 2> "$DIR/b.err"
[ $? -eq 0 ] || fail "bad later frames: exit status"
expect_lines "bad later frames" "$DIR/b.out" "1 first
2 unmatched
3 unreadable
4 unreadable
5 appended 60"
grep -q "cannot read $DIR/truncated.png" "$DIR/b.err" || fail "truncated frame not named"
grep -q "cannot read $DIR/empty.png" "$DIR/b.err" || fail "empty frame not named"

# An unreadable first frame: status 2, the file named, no output written.
"$STITCH" -o "$DIR/e.png" "$DIR"/empty.png "$DIR"/v1.png > "$DIR/e.out" 2> "$DIR/e.err"
[ $? -eq 2 ] || fail "unreadable first frame: exit status"
grep -q "cannot read $DIR/empty.png" "$DIR/e.err" || fail "unreadable first frame not named"
[ ! -e "$DIR/e.png" ] || fail "output written without a first frame"
"$STITCH" -o "$DIR/m.png" "$DIR/missing.png" > /dev/null 2> "$DIR/m.err"
[ $? -eq 2 ] || fail "missing frame: exit status"
grep -q "missing.png" "$DIR/m.err" || fail "missing frame not named"

# A FIFO as a frame would block for ever: refused by name at once.
mkfifo "$DIR/fifo.png"
timeout 10 "$STITCH" -o "$DIR/f.png" "$DIR/fifo.png" "$DIR"/v1.png > /dev/null 2> "$DIR/f.err"
[ $? -eq 2 ] || fail "FIFO frame: exit status"
grep -q "fifo.png: not a regular file" "$DIR/f.err" || fail "FIFO frame not named"

# The output follows the umask when new; a replaced file keeps its mode and
# its other names.
(umask 077 && "$STITCH" -o "$DIR/private.png" "$DIR"/v1.png > /dev/null 2>&1)
[ "$(stat -c %a "$DIR/private.png")" = 600 ] || fail "new output ignores the umask"
ln "$DIR/private.png" "$DIR/second-name.png"
(umask 022 && "$STITCH" -o "$DIR/private.png" "$DIR"/v1.png "$DIR"/v2.png > /dev/null 2>&1)
[ "$(stat -c %a "$DIR/private.png")" = 600 ] || fail "replaced output lost its mode"
cmp -s "$DIR/private.png" "$DIR/second-name.png" || fail "replaced output lost its other name"

# Usage errors.
"$STITCH" "$DIR"/v1.png > /dev/null 2>&1
[ $? -eq 2 ] || fail "no output: exit status"
"$STITCH" --bogus -o "$DIR/x.png" "$DIR"/v1.png > /dev/null 2>&1
[ $? -eq 2 ] || fail "unknown option: exit status"

# An unwritable output keeps nothing half-written.
"$STITCH" -o "$DIR/no/such/dir/out.png" "$DIR"/v1.png > /dev/null 2>&1
[ $? -eq 1 ] || fail "unwritable output: exit status"

[ "$failures" -eq 0 ] && echo "PASS" && exit 0
exit 1
