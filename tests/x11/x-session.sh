#!/usr/bin/env bash
# Runs a command on an X server of its own: Xvfb on a free display with the Openbox window
# manager, so windows are mapped, decorated, focused and closed as on a desktop, and key
# presses sent with xdotool travel through the server as a user's do.
#
#   tests/x11/x-session.sh COMMAND [ARGUMENT...]
#
# COMMAND runs with DISPLAY and QT_QPA_PLATFORM=xcb set, and HOME and the XDG folders in a
# scratch folder; the script ends with its exit status. Xvfb and Openbox are stopped and the
# scratch folder removed however COMMAND ends. An X server or window manager that does not
# come up is a failure, never a skip.
#
# Adding a case: write a slot in tests/app/gui/RealDisplayTest.cpp. The fixture there
# (WindowFixture.h) opens a window (openWindow), presses real keys in it (pressKeys), runs
# Go! and waits for the run's end (runByKeys), answers the questions that show with real keys
# and keeps their texts (Answers), and finds the window of a program it started (windowOf);
# the CTest `window_on_x11` runs that binary through this script.
# A slot can be run alone: tests/x11/x-session.sh build/bin/tabulo_x11_tests SLOT.
set -euo pipefail

for tool in Xvfb openbox xdotool xprop; do
  if ! command -v "$tool" >/dev/null; then
    echo "x-session: $tool is missing: run scripts/install-deps.sh test" >&2
    exit 1
  fi
done

scratch=$(mktemp -d)
xvfb_pid=""
wm_pid=""
command_pid=""
stop() {
  if [ -n "$command_pid" ]; then kill "$command_pid" 2>/dev/null || true; wait "$command_pid" 2>/dev/null || true; fi
  if [ -n "$wm_pid" ]; then kill "$wm_pid" 2>/dev/null || true; wait "$wm_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap stop EXIT
trap 'exit 143' TERM INT HUP

export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache"
export XDG_DATA_HOME="$scratch/data" XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

# Xvfb picks a free display itself and writes its number once it takes connections; the
# read ends early, empty, when Xvfb dies first.
mkfifo "$scratch/display"
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1280x1024x24 \
  3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
read -r -t 30 display <"$scratch/display" || true
if [ -z "$display" ]; then
  echo "x-session: Xvfb did not start:" >&2
  cat "$scratch/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"

# Openbox runs the start-up command once it manages the screen. The pipe is held open both
# ways here, so waiting for it never blocks beyond the time-out when Openbox fails.
mkfifo "$scratch/wm"
exec {wm_fd}<>"$scratch/wm"
openbox --sm-disable --startup "sh -c 'echo up >$scratch/wm'" >"$scratch/openbox.log" 2>&1 &
wm_pid=$!
wm=""
read -r -t 30 -u "$wm_fd" wm || true
exec {wm_fd}<&-
if [ "$wm" != "up" ] || ! xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; then
  echo "x-session: Openbox did not start on $DISPLAY:" >&2
  cat "$scratch/openbox.log" >&2
  exit 1
fi

# In the background, so that a signal to this script is handled at once, not after COMMAND.
export QT_QPA_PLATFORM=xcb
"$@" &
command_pid=$!
status=0
wait "$command_pid" || status=$?
command_pid=""
exit "$status"
