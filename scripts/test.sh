#!/usr/bin/env bash
# The one command to run the whole test suite on a fresh Debian machine: installs what is
# missing, builds with warnings as errors, and runs every test through ctest. No display is
# needed: the window tests run on Qt's offscreen platform.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
"$root/scripts/build.sh" -DVELL_WERROR=ON -DVELL_BUILD_TESTS=ON

cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 120
