# --help, --version and --recognize on the real binary, without a display.
set -u
korvel="$KORVEL_BUILD/src/app/korvel"
textimage="$KORVEL_BUILD/tests/korvel_textimage"
fail() { echo "FAIL: $*" >&2; exit 1; }
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
run() { env -u DISPLAY -u WAYLAND_DISPLAY "$korvel" "$@"; }

out="$(run --help)" || fail "--help exited $?"
for option in --capture --pin --edit --recognize --accessibility-status --check-update-feed \
              --self-test --mosaic-brush-check --long-live-check --region-check --help --version; do
  [ "$(printf '%s\n' "$out" | grep -c -- "^  $option ")" = 1 ] || fail "--help lacks $option"
done
printf '%s\n' "$out" | grep -q "识别图片中的文字" || fail "--help is not in Chinese"

out="$(run --version)" || fail "--version exited $?"
[ "$out" = "Korvel $KORVEL_VERSION" ] || fail "--version printed '$out'"
# Existing options keep their place: the accessibility query still wins.
out="$(env -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR "$korvel" --version --accessibility-status)"
[ "$out" = "Accessibility trusted: false" ] || fail "--accessibility-status lost to --version"

"$textimage" "$dir/a.png" "Hello Korvel 123" || fail "fixture"
"$textimage" "$dir/b.png" "Second image 456" || fail "fixture"
"$textimage" --huge "$dir/huge.png" || fail "fixture"
head -c 300 "$dir/a.png" > "$dir/truncated.png"
: > "$dir/empty.png"
echo "just words" > "$dir/notes.txt"
mkdir "$dir/folder"
mkfifo "$dir/fifo.png"
printf '<svg xmlns="http://www.w3.org/2000/svg"><text y="9">字</text></svg>' > "$dir/text.svg"

out="$(run --recognize "$dir/a.png" "$dir/b.png")" || fail "--recognize exited $?"
[ "$out" = "$(printf 'Hello Korvel 123\n\nSecond image 456')" ] || fail "--recognize printed '$out'"
out="$(run --recognize - < "$dir/b.png")" || fail "--recognize - exited $?"
[ "$out" = "Second image 456" ] || fail "--recognize - printed '$out'"

run --recognize > "$dir/out" 2> "$dir/err"
[ "$?" = 2 ] || fail "--recognize without files did not exit 2"
grep -q -- "--recognize" "$dir/err" || fail "no message for a missing argument"

# A FIFO would block a reader for ever; an SVG needs a display to decode.
timeout 20 env -u DISPLAY -u WAYLAND_DISPLAY "$korvel" --recognize "$dir/a.png" \
    "$dir/missing.png" "$dir/folder" "$dir/truncated.png" "$dir/empty.png" "$dir/notes.txt" \
    "$dir/huge.png" "$dir/fifo.png" "$dir/text.svg" "$dir/b.png" > "$dir/out" 2> "$dir/err"
[ "$?" = 2 ] || fail "bad files did not exit 2"
[ "$(cat "$dir/out")" = "$(printf 'Hello Korvel 123\n\nSecond image 456')" ] ||
  fail "the good files printed '$(cat "$dir/out")'"
for bad in missing.png folder truncated.png empty.png notes.txt huge.png fifo.png text.svg; do
  [ "$(grep -c "$dir/$bad：" "$dir/err")" = 1 ] || fail "no message for $bad: $(cat "$dir/err")"
done
grep -q "huge.png：图像过大" "$dir/err" || fail "huge image not refused by size"
# libpng adds its own line for the truncated file; ours are one per file.
[ "$(grep -c '^korvel: ' "$dir/err")" = 8 ] || fail "unexpected messages: $(cat "$dir/err")"

mkdir "$dir/nodata"
TESSDATA_PREFIX="$dir/nodata" run --recognize "$dir/a.png" > "$dir/out" 2> "$dir/err"
[ "$?" = 1 ] || fail "missing language data did not exit 1"
grep -q "tesseract-ocr-chi-sim" "$dir/err" || fail "missing data message: $(cat "$dir/err")"
echo PASS
