#!/usr/bin/env bash
# Runs tests of one test binary as the unprivileged user nobody. Mode bits keep a user, not
# root, from a file, so tests about them skip themselves under root, and CI runs as root.
# Not root: exits 77 (skipped), since the suite then runs those tests unprivileged already.
# A test that skips itself or runs no test at all fails here.
# Usage: as_nobody.sh <test binary> <gtest filter>
set -euo pipefail
binary=$1
filter=$2
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: the suite runs these tests as this user already"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
# A copy nobody can run: the build tree may lie in a folder only root can enter.
install -m 755 "$binary" "$work/tests"
mkdir -m 700 "$work/home" "$work/runtime" "$work/tmp"
chown nobody:nogroup "$work/home" "$work/runtime" "$work/tmp"
# A leak suppression file named by the sanitizer's options is copied along for the same reason.
lsan=${LSAN_OPTIONS:-}
if [[ $lsan =~ suppressions=([^:]+) ]]; then
  install -m 644 "${BASH_REMATCH[1]}" "$work/lsan.supp"
  lsan=${lsan/"${BASH_REMATCH[1]}"/"$work/lsan.supp"}
fi

status=0
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime \
  TMPDIR=$work/tmp LSAN_OPTIONS=$lsan QT_QPA_PLATFORM=offscreen \
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
  "$work/tests" --gtest_filter="$filter" >"$work/out" 2>&1 || status=$?
cat "$work/out"
[ "$status" -eq 0 ] || exit "$status"
if grep -q '^\[  SKIPPED \]' "$work/out"; then
  echo "FAILED: a test skipped itself as nobody too" >&2
  exit 1
fi
if ! grep -Eq '^\[  PASSED  \] [1-9]' "$work/out"; then
  echo "FAILED: no test matched $filter" >&2
  exit 1
fi
