#!/usr/bin/env bash
# Configures and builds Vell Writer into build/ (or $BUILD_DIR). Extra arguments go to cmake's
# configure step, e.g. scripts/build.sh -DVELL_WERROR=ON.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
