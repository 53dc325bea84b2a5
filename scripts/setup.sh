#!/usr/bin/env bash
# Installs the Debian packages that building and testing Vell Writer need, and only those that
# are missing, so running it again does nothing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  qt6-serialport-dev libserialport-dev
  xvfb xauth xdotool xclip
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest
  wine wine64 wine32:i386
  nsis
  dpkg-dev file lintian appstream
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
# wine32 (32-bit Windows programs, as the real transfer program is) is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
