#!/usr/bin/env bash
# The one command to run the whole test suite on a fresh Debian machine: installs what is
# missing, checks the formatting and runs clang-tidy (scripts/lint.sh), builds with warnings as
# errors, and runs every test through ctest. The suite runs also under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the serial port's tests (the threaded part) under
# ThreadSanitizer. No display is needed: the window tests run on Qt's offscreen platform. The
# line's bytes, the run's text watch, the receiver dialogue, the reader of Windows programs'
# headers and the reader of Wine's registry files are also fuzzed briefly with libFuzzer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

"$root/scripts/setup.sh"

# First, as they need no build: unformatted files and clang-tidy's findings fail the run.
BUILD_DIR="$build" "$root/scripts/lint.sh"

echo "== the suite under AddressSanitizer and UndefinedBehaviorSanitizer"
BUILD_DIR="$build-asan" "$root/scripts/build.sh" -DVELL_WERROR=ON -DVELL_BUILD_BENCH=OFF \
  -DVELL_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
(cd "$build-asan" &&
  LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
  ctest --output-on-failure --parallel "$jobs" --timeout 300)

echo "== the serial port's tests under ThreadSanitizer"
cmake -S "$root" -B "$build-tsan" -DVELL_WERROR=ON -DVELL_BUILD_BENCH=OFF \
  -DVELL_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build-tsan" --parallel "$jobs" \
  --target platform_tests serial_tests port_tests vell_modem_lines
# Through ctest, as the other stages: each test runs alone, so a test that passes only after
# others have run fails here. ctest also preloads the terminal tests' emulated modem lines.
for suite in platform serial port; do
  (cd "$build-tsan/tests/$suite" &&
    TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure --parallel "$jobs" --timeout 300)
done

echo "== fuzzing what comes from the line, briefly"
CXX=clang++ cmake -S "$root/tests/fuzz" -B "$build-fuzz" >/dev/null
cmake --build "$build-fuzz" --parallel "$jobs"
for target in fuzz_received_bytes fuzz_error_marks fuzz_settings_values fuzz_text_watch \
              fuzz_state_machine fuzz_pe_image fuzz_wine_reg fuzz_bridge_protocol; do
  mkdir -p "$build-fuzz/corpus/$target"
  log="$build-fuzz/$target.log"
  # A target's seeds, where it has some, are read beside its corpus (which keeps what it finds).
  seeds=()
  [ -d "$root/tests/fuzz/seeds/$target" ] && seeds=("$root/tests/fuzz/seeds/$target")
  if ! "$build-fuzz/$target" -max_total_time=15 -artifact_prefix="$build-fuzz/" \
       "$build-fuzz/corpus/$target" "${seeds[@]}" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$target found a failing input (saved in $build-fuzz)" >&2
    exit 1
  fi
  echo "$target: $(grep -E '^Done' "$log")"
done

echo "== the suite"
"$root/scripts/build.sh" -DVELL_WERROR=ON -DVELL_BUILD_TESTS=ON

echo "== the Debian package, through lintian, and its AppStream metainfo"
# Packed from the suite's build (already built), checked before the suite runs: an error or a
# warning of lintian fails the run, as does an error or a warning of the metainfo's validator.
rm -f "$build"/package/vell-writer_*.deb
(cd "$build" && cpack -G DEB -B "$build/package" >/dev/null)
lintian --fail-on error,warning "$build"/package/vell-writer_*.deb
appstreamcli validate --no-net "$root"/packaging/*.metainfo.xml

cd "$build"
ctest --output-on-failure --parallel "$jobs" --timeout 120
