#!/bin/sh
# Runs a command with an X display of its own: starts Xvfb on a free display
# number, runs the command with DISPLAY set to it, and stops that server (by
# its process id) however the command ends. Windows programs under Wine need
# a display as soon as they make a window.
#   with_xvfb.sh [--desktop WINE_RUN] COMMAND [ARGUMENT]...
# --desktop: first start a program through WINE_RUN without any display, so
# that Wine's desktop process, which lives as long as the Wine server, does
# not start on this short-lived display (it would end with it, and take the
# server's desktop along while other tests use it). Does nothing more when
# the server runs already.
# The command is given at most KOSMARA_GUI_TIMEOUT seconds (default 300).
set -u
if [ "${1:-}" = "--desktop" ]; then
  (unset DISPLAY; timeout 120 "$2" cmd /c exit) >/dev/null 2>&1 </dev/null
  shift 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kosmara-xvfb.XXXXXX") || exit 1
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT HUP

# -displayfd: Xvfb picks a free display and writes its number to the
# descriptor once it accepts clients.
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>"$work/log" &
xvfb_pid=$!
tries=0
until grep -qx '[0-9][0-9]*' "$work/display" 2>/dev/null; do
  if ! kill -0 "$xvfb_pid" 2>/dev/null || [ "$tries" -ge 200 ]; then
    echo "with_xvfb.sh: Xvfb did not start" >&2
    cat "$work/log" >&2
    exit 1
  fi
  tries=$((tries + 1))
  sleep 0.05
done
DISPLAY=:$(cat "$work/display")
export DISPLAY

timeout "${KOSMARA_GUI_TIMEOUT:-300}" "$@"
exit $?
