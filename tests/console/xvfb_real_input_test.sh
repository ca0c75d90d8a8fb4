#!/usr/bin/env bash
# The console under its own Xvfb, typed into with real X key events from
# xdotool as a person does (menu, field, Ctrl+S, Ctrl+Q), then the files the
# save wrote are checked. Events that reach the window this way take paths the
# offscreen widget tests never see: the combo box's own key handling and
# completion, and shortcuts pressed right after an edit.
# Usage: xvfb_real_input_test.sh [VantryMonitor [vantrysvc]] (default: build/bin)
set -euo pipefail

for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (bash scripts/setup --test installs it)"
    exit 77
  fi
done
monitor=${1:-$(dirname "$0")/../../build/bin/VantryMonitor}
gateway=${2:-$(dirname "$monitor")/vantrysvc}
for program in "$monitor" "$gateway"; do
  [[ -x $program ]] || { echo "FAIL: $program is not built"; exit 1; }
done

tmp=$(mktemp -d)
xvfb_pid='' console_pid=''
cleanup() {
  local pid
  for pid in $console_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || continue
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [[ -s $tmp/console.log ]] && sed 's/^/console: /' "$tmp/console.log"
  exit 1
}

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $tmp/display ]] && break; sleep 0.05; done
[[ -s $tmp/display ]] || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
DISPLAY=:$(<"$tmp/display")
export DISPLAY XDG_RUNTIME_DIR=$tmp QT_QPA_PLATFORM=xcb
export VANTRY_REGISTRY=$tmp/registry.reg VANTRY_MAILSLOT=$tmp/channel

# The install defaults, with the program folder in the temp dir and one entry
# in each list, so that a save of unchanged lists needs no correction.
mkdir "$tmp/program"
"$gateway" -fixreg >/dev/null
sed -i "s|^\"PathEXE\"=.*|\"PathEXE\"=\"$tmp/program\"|" "$VANTRY_REGISTRY"
echo 192.0.2.1 >"$tmp/program/exlst.cfg"
echo 198.51.100.1 >"$tmp/program/manbl.cfg"

window=''
start_console() {
  "$monitor" >>"$tmp/console.log" 2>&1 &
  console_pid=$!
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Dask Vantry Service Monitor') ||
    fail "the console's window did not appear"
  # A click into the window, as a person starts; keys go where X's focus is.
  xdotool mousemove --window "$window" 480 400 click 1
  xdotool windowfocus --sync "$window"
}
# An entry of the Server Configuration menu, by keyboard: the arguments step down to it.
server_menu() { xdotool key --delay 150 alt+f Right Right "$@" Return; }
# Waits for the console to end by itself; `$1` says what failed if it does not.
wait_exit() {
  for _ in $(seq 100); do
    if ! kill -0 "$console_pid" 2>/dev/null; then
      wait "$console_pid" || fail "the console exited with status $?"
      console_pid=''
      return
    fi
    sleep 0.1
  done
  fail "$1"
}
quit_console() {
  xdotool windowfocus --sync "$window" key ctrl+q
  wait_exit "Ctrl+Q did not close the console (a message box left open?)"
}
# Types `$1` over the socket-count field's text and saves with Ctrl+S.
save_sockets() {
  server_menu Down Down Down  # Maximum Sockets Usage
  xdotool key End shift+Home Delete
  xdotool type --delay 60 "$1"
  xdotool key ctrl+s
}
# The save is written while the console runs: waits up to 5 s for MaxSocks `$2`.
expect_max_socks() {
  local stored
  for _ in $(seq 50); do
    stored=$(grep -o '^"MaxSocks"=dword:[0-9a-f]*' "$VANTRY_REGISTRY" | cut -d: -f2)
    [[ $stored == "$(printf '%08x' "$2")" ]] && return
    sleep 0.1
  done
  fail "typed \"$1\" and saved: MaxSocks is dword:$stored, not $2"
}

# Letters never enter the field, and a count is stored as typed, in decimal.
start_console
save_sockets 3a0Z0
expect_max_socks 3a0Z0 300
# The save disabled its entry: an exception added with the list's Add button
# must enable it at once, for a Ctrl+S right after it and then Ctrl+Q.
server_menu Down Down Down Down  # Connection Exceptions
xdotool type --delay 60 192.0.2.7
xdotool key Tab space ctrl+s ctrl+q
wait_exit "Ctrl+Q after Ctrl+S did not close the console (a message box left open?)"
exceptions=$(tr -d '\r' <"$tmp/program/exlst.cfg")
grep -qx '192.0.2.7' <<<"$exceptions" ||
  fail "the exception saved right after Add is missing: $(tr '\n' ' ' <<<"$exceptions")"

# 99 is below the least count: the save says so and stores 255 (inline
# completion from the list of counts would have made it 990).
start_console
save_sockets 99
corrected=yes
if box=$(timeout 10 xdotool search --sync --onlyvisible --name '^Korvane Vantry Monitor$'); then
  xdotool windowfocus --sync "$box" key Return
else
  corrected=no
fi
expect_max_socks 99 255
[[ $corrected == yes ]] || fail "saving 99 sockets showed no correction"
quit_console
echo "PASS: letters kept out of the socket count, 300 stored, exception saved at once, 99 made 255"
