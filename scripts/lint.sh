#!/usr/bin/env bash
# Static checks of the tracked sources, in two parts:
#   format  every tracked *.h and *.cpp is as clang-format (.clang-format) leaves it; the files
#           it would change are listed.
#   tidy    clang-tidy (.clang-tidy) over the translation units of the program, its tools and
#           its benchmarks, taken from the compile database of a configured build (nothing is
#           compiled), and over the units only the Windows forms build, with mingw-w64's
#           headers. The tests' own units are not checked; the headers they share with the
#           program are, through the program's units.
# Usage: scripts/lint.sh [format] [tidy]   (both when none is named). Runs every part asked
# for, then fails if any found something. The build folder is $BUILD_DIR-lint (build-lint).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}-lint
jobs=2
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(format tidy)

check_format() {
  echo "== formatting (clang-format $(clang-format --version | grep -o '[0-9][0-9.]*' | head -1))"
  local unformatted=() file
  while IFS= read -r file; do
    clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
  done < <(cd "$root" && git ls-files '*.h' '*.cpp')
  if [ ${#unformatted[@]} -gt 0 ]; then
    printf '  %s\n' "${unformatted[@]}"
    echo "${#unformatted[@]} files are not formatted: clang-format -i FILE" >&2
    return 1
  fi
  echo "all formatted"
}

# The source files of a compile database, one a line.
database_files() {
  sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$1/compile_commands.json"
}

# clang-tidy over the units listed in a file, from one compile database, two at a time; extra
# arguments go to the compiler. Each unit's report is kept apart and shown whole, in the list's
# order, once all have run (run-clang-tidy-14 colours its output and prints every command).
tidy_units() {
  local database=$1 units=$2 unit
  shift 2
  local reports=$database/lint-reports
  rm -rf "$reports"
  mkdir -p "$reports"
  export LINT_DATABASE=$database LINT_REPORTS=$reports
  xargs -d '\n' -P "$jobs" -I{} bash -c '
    unit=$1 report=$LINT_REPORTS/$(echo "$1" | tr / _)
    shift
    clang-tidy --quiet -p "$LINT_DATABASE" "${@/#/--extra-arg=}" "$unit" >"$report" 2>&1 ||
      touch "$report.failed"' _ {} "$@" <"$units" || true
  while IFS= read -r unit; do
    cat "$reports/$(echo "$unit" | tr / _)"
  done <"$units" |
    # A finding in a header comes with every unit that includes it: it is shown once.
    awk 'BEGIN { keep = 1 }
         /^[0-9]+ warnings? generated\.$/ { next }
         /^[^ ].*:[0-9]+:[0-9]+: (warning|error): / { keep = !seen[$0]++; found += keep }
         keep { print }
         END { if (found) print found " findings" }'
  ! compgen -G "$reports/*.failed" >/dev/null
}

check_tidy() {
  echo "== clang-tidy ($(clang-tidy --version | grep -o 'version [0-9.]*'))"
  local start=$SECONDS failed=0
  cmake -S "$root" -B "$build" -DVELL_BUILD_WINDOWS=OFF -DVELL_BUILD_BENCH=ON \
    -DVELL_BUILD_TESTS=ON >/dev/null
  database_files "$build" | grep -E "^$root/(app|bench|controls|receiver|serial|tools)/" \
    >"$build/lint-units"
  echo "$(wc -l <"$build/lint-units") units of the program, its tools and benchmarks"
  tidy_units "$build" "$build/lint-units" || failed=1

  local mingw=x86_64-w64-mingw32-g++-posix
  if command -v "$mingw" >/dev/null; then
    cmake -S "$root/windows" -B "$build/windows-x86_64" -DVELL_BUILD_TESTS=OFF \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
    database_files "$build/windows-x86_64" | grep -E "^$root/" |
      grep -vxF -f <(database_files "$build") >"$build/lint-units-windows" || true
    # clang finds mingw-w64's C headers by itself, not its C++ library: the compiler names them.
    local includes=()
    while IFS= read -r dir; do includes+=("-isystem$dir"); done < <(
      "$mingw" -x c++ -E -v /dev/null 2>&1 >/dev/null | sed -n 's|^ \(/.*/c++.*\)$|\1|p')
    echo "$(wc -l <"$build/lint-units-windows") units of the Windows forms"
    tidy_units "$build/windows-x86_64" "$build/lint-units-windows" "${includes[@]}" ||
      failed=1
  else
    echo "$mingw not found: the Windows forms' units are not checked"
  fi
  echo "clang-tidy took $((SECONDS - start)) s"
  [ $failed -eq 0 ] || echo "clang-tidy found faults (listed above)" >&2
  return $failed
}

status=0
for part in "${parts[@]}"; do
  case $part in
  format) check_format || status=1 ;;
  tidy) check_tidy || status=1 ;;
  *) echo "unknown part: $part (format or tidy)" >&2; exit 2 ;;
  esac
done
exit $status
