# A long capture through the portal backend: the ScreenCast portal and
# PipeWire stream the output, ten wheel notches by hand give 600 new rows,
# and Return in the panel copies exactly the document's pixels, also on an
# output of scale 2. Without a remote-desktop portal the panel offers no
# automatic scrolling and says why.
. "$KORVEL_TESTS/wllib.sh"
. "$KORVEL_TESTS/longsession.sh"
on_exit=cleanup_wayland
quiet_start
start_fixture --window 200,100,640,600 --length 2400 --step 60
KORVEL_PLATFORM=portal start_korvel
ready_text="滚动原窗口。桌面不提供远程控制门户，无法自动滚动。空格停止，Enter 复制，Esc 关闭。"
start_usual_region
has_widget button "自动滚动" && fail "automatic scrolling offered without a way to scroll"
wheel 10 5
wait_for 20 dimensions_are "560 × 1000 px"
# Nothing places Korvel's panel here, as on GNOME and KDE: it is given the
# keyboard through sway instead of a click.
swaymsg -q '[title="^Korvel · 长截图$"] focus'
sleep 0.5
key Return
paste_long_png "$work/manual.png"
expect_document_part "$work/manual.png" 560 1000 40 40
grep -q '^screenCastRestoreToken=.' "$XDG_CONFIG_HOME/Korvel/Korvel.conf" ||
    fail "no restore token kept"

# At output scale 2 the cast and the copy hold the output's own pixels.
fixture_at_scale_2
start_usual_region
wheel 10 5
wait_for 20 dimensions_are "1120 × 2000 px"
swaymsg -q '[title="^Korvel · 长截图$"] focus'
sleep 0.5
key Return
paste_long_png "$work/scaled.png"
expect_document_part "$work/scaled.png" 1120 2000 80 80
kill -0 "$korvel_pid" || fail "korvel exited"
echo PASS
