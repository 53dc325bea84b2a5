#!/usr/bin/env bash
# The one command to try Vell Writer on a fresh Debian machine: installs what is missing,
# builds, starts the receiver simulator as the receiver on the virtual port "recv0", and
# starts the program. Open the port, choose an image, press the program button: a whole write
# runs without hardware. The simulator's dialogue is written to build/receiver-sim.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
Vell Writer is built ($build/app/vell-writer) but there is no display to show its window.
Run it on a desktop session, or on a virtual screen:
  sudo apt-get install xvfb && xvfb-run -a -s '-screen 0 1024x768x24' $0
MSG
  exit 1
fi

# The simulated receiver is switched on a second after the program opens the port, as a person
# would switch the real one on.
"$build/tools/receiver-sim/receiver-sim" --name recv0 --on-open 1000 --log "$build/receiver-sim.log" \
  >/dev/null </dev/null &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true' EXIT
echo "Receiver simulator on port recv0 (its dialogue: $build/receiver-sim.log)"
"$build/app/vell-writer"
