#!/usr/bin/env bash
# Configures and builds Vell Writer into build/ (or $BUILD_DIR). Leading `--target NAME`
# arguments build only those targets (and what they need) instead of everything; the other
# arguments go to cmake's configure step, e.g. scripts/build.sh -DVELL_WERROR=ON.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

targets=()
while [ "${1:-}" = "--target" ] && [ $# -ge 2 ]; do
  targets+=(--target "$2")
  shift 2
done
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"
