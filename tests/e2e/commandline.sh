# The command line of the real binary without a display: the check modes
# answer on standard output (the self-checks run on the offscreen platform, one
# PASS or FAIL line each), and --help, --version and --recognize.
: "${KORVEL_UPDATE_ORIGIN:?the update feed check must not leave this machine}"
set -u
korvel="$KORVEL_BUILD/src/app/korvel"
fail() { echo "FAIL: $*" >&2; exit 1; }
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY "$@"; }
run() { nodisplay "$korvel" "$@"; }
textimage="$KORVEL_BUILD/tests/korvel_textimage"

checks="stitcher regions effects export history update-feed ocr shortcut mosaic-brush long-capture"
expected_pass="$(for c in $checks; do echo "PASS: $c"; done)"

# Every check passes, whether the platform is asked for or picked because
# there is no display; the user's history and settings stay untouched.
home="$(mktemp -d)"
dir="$home/files"
mkdir "$dir"
trap 'rm -rf "$home"' EXIT
for platform in offscreen ""; do
  out="$(QT_QPA_PLATFORM=$platform XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
    run --self-test 2>/dev/null)"
  status=$?
  [ "$status" = 0 ] || fail "--self-test ($platform) exited $status: $out"
  [ "$out" = "$expected_pass" ] || fail "--self-test ($platform) printed '$out'"
done
[ ! -e "$home/data/Dastra" ] && [ ! -e "$home/config/Korvel" ] ||
  fail "--self-test wrote into the user's folders: $(find "$home")"

# Each check fails when its input is broken (KORVEL_SELFCHECK_BREAK), and a
# single failure is enough for a non-zero status.
out="$(KORVEL_SELFCHECK_BREAK="$(echo $checks | tr ' ' ,)" QT_QPA_PLATFORM=offscreen \
  run --self-test 2>/dev/null)"
status=$?
[ "$status" = 1 ] || fail "broken --self-test exited $status"
for c in $checks; do
  printf '%s\n' "$out" | grep -q "^FAIL: $c: ." || fail "broken $c printed no FAIL line: '$out'"
done
[ "$(printf '%s\n' "$out" | wc -l)" = 10 ] || fail "broken --self-test printed '$out'"
out="$(KORVEL_SELFCHECK_BREAK=history run --self-test 2>/dev/null)"
[ "$?" = 1 ] || fail "--self-test with a broken history exited 0"
[ "$out" = "$(echo "$expected_pass" | sed 's/^PASS: history$/FAIL: history: 2 entries instead of 3/')" ] ||
  fail "--self-test with a broken history printed '$out'"

# Missing language data fails the recognition check with the usual message.
mkdir "$home/tessdata"
out="$(TESSDATA_PREFIX="$home/tessdata" run --self-test 2>/dev/null)"
[ "$?" = 1 ] || fail "--self-test without language data exited 0"
printf '%s\n' "$out" |
  grep -qx "FAIL: ocr: 缺少文字识别语言数据，请安装 tesseract-ocr-chi-sim 和 tesseract-ocr-eng" ||
  fail "--self-test without language data printed '$out'"

# The mosaic brush check always exits 0; its line tells.
out="$(run --mosaic-brush-check 2>/dev/null)"
[ "$?" = 0 ] && [ "$out" = "PASS: mosaic-brush" ] || fail "--mosaic-brush-check printed '$out'"
out="$(KORVEL_SELFCHECK_BREAK=mosaic-brush run --mosaic-brush-check 2>/dev/null)"
[ "$?" = 0 ] || fail "broken --mosaic-brush-check did not exit 0"
case "$out" in
  "FAIL: mosaic-brush: pixel "*" away from the brush changed") ;;
  *) fail "broken --mosaic-brush-check printed '$out'" ;;
esac

# The long capture check: WIDTH VIEWPORT LENGTH STEP.
out="$(run --long-live-check 240 200 3000 60 2>/dev/null)"
[ "$?" = 0 ] && [ "$out" = "PASS: long-capture" ] || fail "--long-live-check printed '$out'"
out="$(KORVEL_SELFCHECK_BREAK=long-capture run --long-live-check 240 200 3000 60 2>/dev/null)"
[ "$?" = 1 ] || fail "broken --long-live-check did not exit 1"
case "$out" in "FAIL: long-capture: pixel "*) ;; *) fail "broken --long-live-check printed '$out'" ;; esac
# Arguments out of bounds (LongLiveCheck.ArgumentsAreFourPixelCountsWithinBounds).
out="$(run --long-live-check 240 200 3000 67 2>/dev/null)"
[ "$?" = 2 ] || fail "--long-live-check with a long step did not exit 2"
case "$out" in "FAIL: long-capture: "*) ;; *) fail "--long-live-check printed '$out'" ;; esac

# Without a display there is nothing to find, but the region check keeps
# asking until it is stopped (timeout's status 124).
out="$(nodisplay timeout 3 "$korvel" --region-check 1 2 3 2>/dev/null)"
status=$?
[ "$status" = 124 ] || fail "--region-check exited $status"
[ "$out" = "FAIL: region-check: this display offers no screen capture or window list" ] ||
  fail "--region-check printed '$out'"

# The update feed check answers without a display; here its server is a
# closed loopback port (KORVEL_UPDATE_ORIGIN), so it fails with one line.
out="$(run --check-update-feed)"
status=$?
[ "$status" = 1 ] || fail "--check-update-feed exited $status"
case "$out" in
  "FAIL: update feed: "*) [ "$(printf '%s\n' "$out" | wc -l)" = 1 ] || fail "printed '$out'" ;;
  *) fail "--check-update-feed printed '$out'" ;;
esac
# A build that names no update server never asks one.
if grep -q '^KORVEL_UPDATE_ORIGIN:STRING=$' "$KORVEL_BUILD/CMakeCache.txt"; then
  out="$(env -u KORVEL_UPDATE_ORIGIN -u DISPLAY "$korvel" --check-update-feed)"
  [ "$?" = 1 ] && [ "$out" = "FAIL: update feed: 网址无效。（本构建未配置更新服务器）" ] ||
    fail "--check-update-feed without an origin printed '$out'"
fi
# The accessibility query comes before the update feed and --version, whatever the order.
out="$(nodisplay env -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR "$korvel" --check-update-feed --version \
  --accessibility-status)"
[ "$?" = 0 ] || fail "accessibility status failed"
[ "$out" = "Accessibility trusted: false" ] || fail "printed '$out'"

# --- --help, --version and --recognize ----------------------------------------
out="$(run --help)" || fail "--help exited $?"
for option in --capture --pin --edit --recognize --accessibility-status --check-update-feed \
              --self-test --mosaic-brush-check --long-live-check --region-check --help --version; do
  [ "$(printf '%s\n' "$out" | grep -c -- "^  $option ")" = 1 ] || fail "--help lacks $option"
done
printf '%s\n' "$out" | grep -q "识别图片中的文字" || fail "--help is not in Chinese"

out="$(run --version)" || fail "--version exited $?"
[ "$out" = "Korvel $KORVEL_VERSION" ] || fail "--version printed '$out'"

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
