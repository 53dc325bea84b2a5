#!/usr/bin/env bash
# The one command to try Vell Writer on a fresh Debian machine: installs what is missing,
# builds, and starts the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
Vell Writer is built ($build/app/vell-writer) but there is no display to show its window.
Run it on a desktop session, or on a virtual screen:
  sudo apt-get install xvfb && xvfb-run -a -s '-screen 0 1024x768x24' $build/app/vell-writer
MSG
  exit 1
fi
exec "$build/app/vell-writer"
