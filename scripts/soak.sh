#!/usr/bin/env bash
# The long runs: 1,000 consecutive EEPROM writes through the program's main window, with the
# receiver simulator and the transfer program Vell_par.exe, then three minutes of a receiver
# flooding the line with random bytes. Prints the process's resident memory, heap and open
# descriptors every 50 writes (every second of the flood), first, last and largest, and fails
# when a write does not end in its right lines or memory or descriptors pile up.
#
# Not part of the test suite, whose short forms of both run in seconds (tests/e2e/SoakTest.cpp).
# About 9 minutes for the writes on two cores, plus the flood.
#
# Usage: scripts/soak.sh [WRITES [FLOOD_SECONDS]]     (1000 and 180; builds into build-soak/,
#        or $BUILD_DIR)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-soak}
writes=${1:-1000}
flood=${2:-180}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELL_BUILD_TESTS=ON \
  -DVELL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target e2e_soak >/dev/null

export QT_QPA_PLATFORM=offscreen
soak=$build/app/e2e_soak
status=0
run() {
  local started=$SECONDS
  # The transfer program's window has no size hints offscreen; Qt says so every time.
  "$soak" --gtest_filter="$1" 2>&1 | grep -v 'does not support propagateSizeHints' || status=1
  echo "($1: $((SECONDS - started)) s)"
}

echo "== $writes consecutive writes"
VELL_SOAK_WRITES=$writes run 'SoakTest.*'
echo
echo "== a receiver flooding the line for $flood s"
VELL_FLOOD_SECONDS=$flood run 'FloodTest.*'
exit $status
