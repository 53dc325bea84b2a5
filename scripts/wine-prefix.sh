#!/bin/sh
# A Wine prefix for the Windows forms' tests, made once and kept: 64-bit, with 32-bit support,
# without a display, and with no COM port linked to a serial device of this machine.
#
#   scripts/wine-prefix.sh DIR                 make DIR a prefix (once), then check it
#   scripts/wine-prefix.sh DIR --com N PATH    also map COMN (1..255) to PATH, e.g. a
#                                              pseudo-terminal or a link to one; PATH "" hides
#                                              the port again
#   scripts/wine-prefix.sh DIR --lpt PATH      map LPT1 to PATH (a file, a FIFO, a link to one);
#                                              PATH "" hides the port
#   scripts/wine-prefix.sh DIR --stop          end the prefix's Wine server
#
# Wine links dosdevices/comN to each /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM* it finds, at every
# start of its server. The ports named in HKLM\Software\Wine\Ports are not used for that: an
# empty value hides a port, a path maps it. Wine 8 reads only COM1..COM255 there but hands out
# COM256 as well, so the first device found always gets COM256: dosdevices/com256 is made a
# folder, which Wine cannot replace by a link. All of this is in place before Wine first runs
# in the prefix, and every call checks that no link points at a serial device.
#
# A parallel port is reached from Windows programs under Wine only as a file: LPT1 opens
# dosdevices/lpt1, which Wine links to the value LPT1 of the same key, at every start of its
# server (a value of a running server is taken at its next start; an empty value removes the
# link; without a value a link made before stays). Every prefix made here maps LPT1 to
# /dev/null until --lpt maps it elsewhere, so none leads to a missing device such as Wine's
# default /dev/lp0.
#
# Windows are not managed: on a virtual screen with no window manager, Wine would otherwise
# wait two seconds for one at every window it destroys.
#
# Environment for running programs in the prefix (what this script uses itself; the tests'
# one definition of it is tests/support/WineSession.h):
#   WINEPREFIX=DIR WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
# and no DISPLAY needed for console programs. Exit status: 0 ready, 77 Wine is not installed,
# 1 anything else (with the reason on stderr).
set -eu

started=0
die() {
    echo "wine-prefix.sh: $*" >&2
    if [ "$started" = 1 ]; then
        stop_server
    fi
    exit 1
}

[ $# -ge 1 ] || die "usage: wine-prefix.sh DIR [--com N PATH | --stop]"
case $1 in
/*) prefix=$1 ;;
*) prefix=$(pwd)/$1 ;;
esac
shift

# Debian keeps the 64-bit loader out of PATH.
if [ -x /usr/lib/wine/wine64 ]; then
    wine64=/usr/lib/wine/wine64
elif command -v wine64 >/dev/null 2>&1; then
    wine64=$(command -v wine64)
elif command -v wine >/dev/null 2>&1; then
    wine64=$(command -v wine)
else
    echo "wine-prefix.sh: Wine is not installed" >&2
    exit 77
fi
command -v wineserver >/dev/null 2>&1 || {
    echo "wine-prefix.sh: wineserver is not installed" >&2
    exit 77
}

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko installer dialogs, no desktop menu entries.
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
unset DISPLAY WAYLAND_DISPLAY

stamp=$prefix/.vell-prefix-ready
unmanaged=$prefix/.vell-unmanaged
quietcrash=$prefix/.vell-quiet-crash
lptmapped=$prefix/.vell-lpt1
marker=$prefix/.vell-prefix

stop_server() {
    timeout 60 wineserver -k 2>/dev/null || true
    timeout 60 wineserver -w 2>/dev/null || true
}

# Runs a program in the prefix, bounded: a server start also boots the prefix (a few seconds).
run() {
    started=1
    timeout 300 "$wine64" "$@" || die "'$*' failed or hung (status $?)"
}

# Every link in dosdevices must stay away from the machine's serial devices.
check_links() {
    if [ ! -d "$prefix/dosdevices/com256" ] || [ -L "$prefix/dosdevices/com256" ]; then
        die "$prefix/dosdevices/com256 is not the folder that blocks Wine's own COM256"
    fi
    for link in "$prefix"/dosdevices/*; do
        [ -L "$link" ] || continue
        target=$(readlink "$link")
        resolved=$(readlink -m "$link")
        for path in "$target" "$resolved"; do
            case $path in
            /dev/ttyS* | /dev/ttyUSB* | /dev/ttyACM* | /dev/ttyAMA* | /dev/serial/*)
                die "$link points at $path, a serial device of this machine" ;;
            esac
        done
    done
}

create() {
    # Only a prefix this script began (and did not finish) is thrown away; the lock held on it
    # stays.
    if [ -f "$marker" ]; then
        stop_server
        find "$prefix" -mindepth 1 -maxdepth 1 ! -name .vell-lock -exec rm -rf {} +
    elif [ -n "$(find "$prefix" -mindepth 1 -maxdepth 1 ! -name .vell-lock -print)" ]; then
        die "$prefix exists and is not a prefix made by this script"
    fi
    : >"$marker"
    # What Wine makes on its first start (it does not when dosdevices exists), and the folder
    # in COM256's place.
    mkdir -p "$prefix/drive_c" "$prefix/dosdevices/com256"
    ln -s ../drive_c "$prefix/dosdevices/c:"
    ln -s / "$prefix/dosdevices/z:"
    echo "Keeps Wine from linking COM256 to a serial device of this machine." \
        >"$prefix/dosdevices/com256/README"
    # The registry the server loads on its first start: every COM port Wine reads hidden, LPT1
    # mapped to /dev/null.
    {
        printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n'
        printf '[Software\\\\Wine\\\\Ports]\n'
        n=1
        while [ $n -le 255 ]; do
            printf '"COM%d"=""\n' $n
            n=$((n + 1))
        done
        printf '"LPT1"="/dev/null"\n\n'
    } >"$prefix/system.reg"
    echo "wine-prefix.sh: making the Wine prefix $prefix (once; about half a minute)" >&2
    run wineboot -i
    stop_server
    check_links
    # A second start makes Wine link its ports again: they must still be as set.
    run wineboot
    stop_server
    check_links
    [ "$(readlink "$prefix/dosdevices/lpt1")" = /dev/null ] || die "Wine did not link LPT1"
    echo /dev/null >"$lptmapped"
    rm -f "$marker"
    : >"$stamp"
}

# Also for prefixes made before this step existed.
unmanage() {
    run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
    stop_server
    : >"$unmanaged"
}

# A program that faults ends with the fault's status, as on Windows, rather than wait behind
# Wine's crash dialog for a person who is not there.
quiet_crash() {
    run reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
    stop_server
    : >"$quietcrash"
}

# Maps COM$1 to $2 ("" hides it) and restarts the server so that Wine links it.
map_port() {
    number=$1
    path=$2
    case $number in
    '' | *[!0-9]*) die "--com needs a port number, not '$number'" ;;
    esac
    if [ "$number" -lt 1 ] || [ "$number" -gt 255 ]; then
        die "COM$number: Wine maps COM1..COM255"
    fi
    case $path in
    /dev/ttyS* | /dev/ttyUSB* | /dev/ttyACM* | /dev/ttyAMA* | /dev/serial/*)
        die "$path is a serial device of this machine" ;;
    esac
    link=$prefix/dosdevices/com$number
    if [ -n "$path" ] && [ -L "$link" ] && [ "$(readlink "$link")" = "$path" ]; then
        return 0 # mapped already: no restart
    fi
    if [ -z "$path" ] && [ ! -e "$link" ] && [ ! -L "$link" ]; then
        return 0
    fi
    run reg add 'HKLM\Software\Wine\Ports' /v "COM$number" /t REG_SZ /d "$path" /f >/dev/null
    stop_server
    run wineboot
    stop_server
    if [ -n "$path" ]; then
        [ "$(readlink "$link" 2>/dev/null)" = "$path" ] ||
            die "Wine did not link COM$number to $path"
    elif [ -L "$link" ]; then
        die "Wine kept COM$number linked to $(readlink "$link")"
    fi
}

# Maps LPT1 to $1 ("" hides it): the registry value, then a new server start, at which Wine
# links dosdevices/lpt1 to it. What was mapped is kept in $lptmapped, so a call that changes
# nothing starts no Wine.
map_lpt() {
    path=$1
    link=$prefix/dosdevices/lpt1
    if [ -f "$lptmapped" ] && [ "$(cat "$lptmapped")" = "$path" ]; then
        if { [ -n "$path" ] && [ "$(readlink "$link" 2>/dev/null)" = "$path" ]; } ||
            { [ -z "$path" ] && [ ! -e "$link" ] && [ ! -L "$link" ]; }; then
            return 0
        fi
    fi
    run reg add 'HKLM\Software\Wine\Ports' /v LPT1 /t REG_SZ /d "$path" /f >/dev/null
    # A running server keeps its links: it is ended, and the next start links anew.
    stop_server
    run wineboot
    stop_server
    if [ -n "$path" ]; then
        [ "$(readlink "$link" 2>/dev/null)" = "$path" ] || die "Wine did not link LPT1 to $path"
    elif [ -L "$link" ]; then
        die "Wine kept LPT1 linked to $(readlink "$link")"
    fi
    printf '%s\n' "$path" >"$lptmapped"
}

# One call at a time per prefix: two callers must not both make it or restart its server. The
# lock lies inside the prefix, a folder of this user's that nobody else may write to: beside it,
# in a folder others may write to, a link planted in its place would be opened and truncated.
mkdir -p "$prefix"
if [ -L "$prefix" ] || [ ! -d "$prefix" ] || [ ! -O "$prefix" ]; then
    die "$prefix is not a folder of this user's"
fi
chmod go-w "$prefix"
lock=$prefix/.vell-lock
exec 9>>"$lock"
flock 9

[ -f "$stamp" ] || create
[ -f "$unmanaged" ] || unmanage
[ -f "$quietcrash" ] || quiet_crash
# Also for prefixes made before LPT1 was mapped; one that --lpt maps now is mapped once.
case " $* " in
*" --lpt "*) ;;
*) [ -f "$lptmapped" ] || map_lpt /dev/null ;;
esac
check_links

while [ $# -gt 0 ]; do
    case $1 in
    --com)
        [ $# -ge 3 ] || die "--com needs N and PATH"
        map_port "$2" "$3"
        shift 3
        ;;
    --lpt)
        [ $# -ge 2 ] || die "--lpt needs PATH"
        map_lpt "$2"
        shift 2
        ;;
    --stop)
        stop_server
        shift
        ;;
    *) die "unknown argument '$1'" ;;
    esac
done
check_links
