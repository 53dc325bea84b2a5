#!/usr/bin/env bash
# A FLASH write clicked through the real program: vell-writer, the receiver simulator and the
# transfer program each in its own process, the program on a virtual X screen (Xvfb) and driven
# by real mouse clicks and key presses (xdotool); its log is read back through the clipboard.
# Usage: clicked_write.sh <vell-writer> <receiver-sim>
set -euo pipefail
program=$1
simulator=$2
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  echo "--- shown windows (the focus is on $(xdotool getwindowfocus 2>/dev/null)):" >&2
  for id in $(windows '.*'); do
    echo "$id \"$(xdotool getwindowname "$id")\"" >&2
  done
  echo "--- program:" >&2; tail -n 20 "$work/program.log" >&2
  echo "--- simulator:" >&2; tail -n 30 "$work/sim.log" >&2
  exit 1
}
# Waits up to $2 seconds for the condition in $1.
wait_for() {
  local deadline=$((SECONDS + $2))
  until eval "$1"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}
# The shown windows titled exactly $1.
windows() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true; }
shown() { [ -n "$(windows "$1")" ]; }
# True when such a window holds the keyboard focus. Keys and clicks wait for this rather than
# for a fixed time: under a sanitizer on a busy machine a dialog can take seconds to appear, and
# keys typed before it would go to the window behind it.
focused() {
  local id
  id=$(windows "$1" | head -n 1)
  [ -n "$id" ] && [ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ]
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
wait_for '[ -s "$work/display" ]' 10 || fail "no X server"
export DISPLAY=:$(cat "$work/display")

# The port's name sorts before any device's, so it is the first in the program's list.
"$simulator" --name 0e2e --on-open 300 --step 20 >"$work/sim.log" 2>&1 </dev/null &
pids+=($!)
wait_for '[ -L "$XDG_RUNTIME_DIR/vell-writer/ports/0e2e" ]' 10 || fail "the simulator published no port"

head -c 524288 /dev/urandom >"$work/flash.bin"
# Its CRC-32, as the simulator prints it: gzip keeps the same one in its trailer.
crc=$(gzip -c "$work/flash.bin" | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' \n')

QT_QPA_PLATFORM=xcb "$program" >"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
main="Vell Writer 1.0.1"
wait_for 'shown "$main"' 30 || fail "no window"
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.3; }

click 27 365                                   # open the port (Flash page)
wait_for 'grep -q "frozen in the loader" "$work/sim.log"' 30 || fail "the receiver was not frozen"
click 75 365                                   # choose the image
wait_for 'focused Open' 30 || fail "no file dialog"
# The path is pasted, not typed: a dialog still filling its view from the folder can drop keys,
# and a pasted name arrives whole or not at all. Until the dialog closes, the name field is
# pasted over again (after dismissing a "File not found." box, titled like the dialog).
printf %s "$work/flash.bin" | xclip -selection clipboard
for _ in 1 2 3 4 5; do
  sleep 1
  [ "$(windows Open | wc -l)" -lt 2 ] || xdotool key Return
  xdotool key ctrl+a ctrl+v Return
  wait_for '! shown Open' 10 && break
done
wait_for '! shown Open' 30 || fail "the file dialog stayed open"
# The dialog's own event loop may still be ending as it vanishes from the screen, and a click it
# takes goes nowhere: click again if no question comes (a second click on the window behind the
# question would be refused by the question).
sleep 0.5
click 163 365                                  # program
if ! wait_for 'focused Attention' 10; then
  click 163 365
  wait_for 'focused Attention' 30 || fail "no question before writing"
fi
xdotool key Return                             # Yes to "You are writing FLASH with file ..."
wait_for 'grep -q "run over" "$work/sim.log"' 60 || fail "the write did not end"
grep -q "image received: size=524288 crc32=0x$crc" "$work/sim.log" || fail "another image arrived"
grep -q "02 43 30 34 32 2C 35 03" "$work/sim.log" || fail "no FLASH command on the line"

# The log, as the user sees it: select it all and copy it.
wait_for '! shown Attention' 30 || fail "a box is left open"
sleep 0.5
click 200 150
xdotool key ctrl+a ctrl+c
sleep 0.3
log=$(xclip -selection clipboard -o)
for line in "Received start string..." "Sending command string 1..." "Sending command string 2..." \
            "Ready to load flash with file $work/flash.bin" "Sending flash updating string...Memory Alocation" \
            "Write ok C042" "Now your receiver can start a new download..."; do
  grep -qF "$line" <<<"$log" || fail "the log lacks: $line"$'\n'"$log"
done

click 249 365                                  # exit
wait_for '! kill -0 $program_pid 2>/dev/null' 10 || fail "the program did not exit"
status=0
wait "$program_pid" || status=$?
[ "$status" -eq 0 ] || fail "the program's exit code was $status: $(tail -n 20 "$work/program.log")"
grep -q "Startup=0" "$XDG_CONFIG_HOME/VellWriter/VellWriter.conf" || fail "the settings were not saved"
echo "1 passed, 0 failed"
