# Shared by the end-to-end scripts; they run inside scripts/xsession.
set -eu
korvel="$KORVEL_BUILD/src/app/korvel"
tool="$KORVEL_BUILD/tests/e2e/korvel_e2etool"
fixture="$KORVEL_BUILD/tests/e2e/korvel_fixturewindow"

fail() { echo "FAIL: $*" >&2; exit 1; }

wait_for() { # seconds, then a command that must succeed
  limit=$(( $1 * 10 )); shift
  i=0
  until "$@" >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -lt $limit ] || fail "timed out waiting for: $*"
    sleep 0.1
  done
}

# The first visible window whose instance name is exactly $1.
visible_window() { xdotool search --onlyvisible --classname "^$1\$" 2>/dev/null | head -1; }
