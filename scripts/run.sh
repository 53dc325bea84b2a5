#!/usr/bin/env bash
# The one command to try Vell Writer on a fresh Debian machine: installs what is missing,
# builds, starts the receiver simulator as the receiver on the virtual port "recv0", and
# starts the program. Open the port, choose an image, press the program button: a whole write
# runs without hardware. The simulator's dialogue is written to build/receiver-sim.log.
#
#   scripts/run.sh --wine    the same write with the Windows stand-in Vell_par.exe (32-bit)
#                            under Wine, driven through the window bridge as a real Windows
#                            transfer program would be; its window shows on your screen.
#   scripts/run.sh --windows Vell Writer for Windows itself (VellWriter.exe, 64-bit) under Wine,
#                            with the stand-in Vell_par.exe beside it, on a COM port of Wine
#                            that leads to the simulated receiver. Simulated as well: the
#                            modem lines (DSR, RLSD) of that port, which a pseudo-terminal
#                            lacks, through the tests' preloaded library.
#
#   scripts/run.sh [--wine | --windows] --list-targets
#                            prints the build targets that form builds, and does nothing else.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
form=linux
list_targets=no
for arg in "$@"; do
  case "$arg" in
    --wine) form=wine ;;
    --windows) form=windows ;;
    --list-targets) list_targets=yes ;;
    *) echo "usage: $0 [--wine | --windows] [--list-targets]" >&2; exit 2 ;;
  esac
done

# Only what the form runs is built, not the tests and benchmarks (scripts/test.sh builds those).
# The Windows programs come from partial builds of the mingw-w64 projects (cmake/WindowsForms.cmake).
case $form in
  linux) targets=(vell-writer vell_par receiver-sim) ;;
  wine) targets=(vell-writer receiver-sim windows-i686-transfer) ;;
  windows) targets=(receiver-sim vell_modem_lines windows-i686-transfer windows-x86_64-window) ;;
esac
if [ $list_targets = yes ]; then
  printf '%s\n' "${targets[@]}"
  exit 0
fi

"$root/scripts/setup.sh"
if [ $form != linux ]; then
  for compiler in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do
    command -v $compiler >/dev/null ||
      { echo "The Windows programs cannot be built: mingw-w64 is needed (scripts/setup.sh)" >&2; exit 1; }
  done
fi
targets_args=()
for target in "${targets[@]}"; do targets_args+=(--target "$target"); done
"$root/scripts/build.sh" "${targets_args[@]}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
Vell Writer is built (in $build) but there is no display to show its window.
Run it on a desktop session, or on a virtual screen:
  sudo apt-get install xvfb && xvfb-run -a -s '-screen 0 1024x768x24' $0 $*
MSG
  exit 1
fi

# A Wine prefix of its own in the build folder, unless you name one: trying it out leaves ~/.wine
# alone. Made by the script, which hides the machine's serial devices from it (a plain wineboot
# would link COM1... to them).
wine_prefix() {
  command -v wine >/dev/null || { echo "Wine is needed: sudo apt-get install wine wine32" >&2; exit 1; }
  export WINEPREFIX=${WINEPREFIX:-$build/wine-run-prefix} WINEDEBUG=${WINEDEBUG:--all}
  if [ ! -d "$WINEPREFIX/dosdevices" ]; then
    echo "Making the Wine prefix $WINEPREFIX (once; it takes a minute)"
  fi
  "$root/scripts/wine-prefix.sh" "$WINEPREFIX" "$@"
}

if [ $form = windows ]; then
  program=$build/windows-x86_64/winapp/VellWriter.exe
  standin=$build/windows-i686/transfer-win/Vell_par.exe
  [ -f "$program" ] && [ -f "$standin" ] ||
    { echo "Vell Writer for Windows was not built: mingw-w64 is needed (scripts/setup.sh)" >&2; exit 1; }
  lines_library=$build/tests/support/libvell_modem_lines.so
  # The program starts Vell_par.exe from its own folder.
  folder=$build/windows-run
  mkdir -p "$folder/Vell Writer" "$folder/lines"
  cp -f "$program" "$standin" "$folder/Vell Writer/"
  export VELL_MODEM_LINES=$folder/lines
  "$build/tools/receiver-sim/receiver-sim" --name wwin0 --on-open 1000 \
    --log "$build/receiver-sim.log" >/dev/null </dev/null &
  simulator=$!
  trap 'kill "$simulator" 2>/dev/null || true' EXIT
  # Where the simulator publishes its port (as the Linux program finds it).
  port=${XDG_RUNTIME_DIR:+$XDG_RUNTIME_DIR/vell-writer}
  port=${port:-/tmp/vell-writer-$(id -u)}/ports/wwin0
  for _ in $(seq 50); do [ -L "$port" ] && break; sleep 0.1; done
  [ -L "$port" ] || { echo "The receiver simulator published no port" >&2; exit 1; }
  # COM9 leads to the simulator's terminal, through a link of ours.
  ln -sfn "$(readlink "$port")" "$folder/com9"
  wine_prefix --com 9 "$folder/com9"
  wine reg add 'HKCU\Software\VellWriter' /v ComPortName /t REG_SZ /d COM9 /f >/dev/null
  echo "Receiver simulator on COM9 (its dialogue: $build/receiver-sim.log)"
  echo "Vell Writer for Windows under Wine (prefix $WINEPREFIX); Vell_par.exe is the stand-in"
  LD_PRELOAD=$lines_library VELL_STANDIN_PORT=wwin0 wine "$folder/Vell Writer/VellWriter.exe"
  exit 0
fi

program=$build/app/vell-writer
if [ $form = wine ]; then
  standin=$build/windows-i686/transfer-win/Vell_par.exe
  bridge=$build/windows-i686/window-bridge/window-bridge.exe
  [ -f "$standin" ] && [ -f "$bridge" ] ||
    { echo "The Windows stand-in was not built: mingw-w64 is needed (scripts/setup.sh)" >&2; exit 1; }
  # The program starts Vell_par.exe from its own folder: a folder of its own with the stand-in
  # and the bridge beside a copy of the program.
  folder=$build/wine-run
  mkdir -p "$folder"
  cp -f "$program" "$standin" "$bridge" "$folder/"
  program=$folder/vell-writer
  wine_prefix
  echo "Transfer program: the Windows stand-in under Wine (prefix $WINEPREFIX)"
fi

# The simulated receiver is switched on a second after the program opens the port, as a person
# would switch the real one on.
"$build/tools/receiver-sim/receiver-sim" --name recv0 --on-open 1000 --log "$build/receiver-sim.log" \
  >/dev/null </dev/null &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true' EXIT
echo "Receiver simulator on port recv0 (its dialogue: $build/receiver-sim.log)"
"$program"
