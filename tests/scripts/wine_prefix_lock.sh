#!/bin/sh
# scripts/wine-prefix.sh opens no file of the user's through a link another user planted in a
# folder others may write to, and takes no prefix folder that is not the user's. The prefix here
# is one the script takes as made already, so that no Wine runs.
# Usage: wine_prefix_lock.sh <wine-prefix.sh>
set -eu
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Like /tmp: anyone may add a name, only its owner may remove it.
chmod 1777 "$work"
echo "the victim's own" >"$work/victim"
chmod 644 "$work/victim"

# As another user when this is root (nobody), else as this one: the script cannot tell.
as_other() {
    if [ "$(id -u)" -eq 0 ]; then
        setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"
    else
        "$@"
    fi
}

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

prefix=$work/prefix
mkdir -p "$prefix/dosdevices/com256"
: >"$prefix/.vell-prefix-ready"
: >"$prefix/.vell-unmanaged"
: >"$prefix/.vell-quiet-crash"
echo /dev/null >"$prefix/.vell-lpt1"
as_other ln -s "$work/victim" "$prefix.lock"
status=0
"$script" "$prefix" 2>"$work/err" || status=$?
if [ "$status" -eq 77 ]; then
    echo "Wine is not installed"
    exit 77
fi
[ "$status" -eq 0 ] || fail "the made prefix was refused (status $status): $(cat "$work/err")"
[ "$(cat "$work/victim")" = "the victim's own" ] || fail "the file behind the planted link changed"

# A prefix folder another user made first, or a link in its place, is refused untouched.
others="$work/link"
as_other ln -s "$prefix" "$work/link"
if [ "$(id -u)" -eq 0 ]; then
    as_other mkdir "$work/planted"
    others="$others $work/planted"
fi
for other in $others; do
    status=0
    "$script" "$other" 2>"$work/err" || status=$?
    [ "$status" -eq 1 ] || fail "$other was taken (status $status)"
    grep -q "is not a folder of this user's" "$work/err" || fail "$other: $(cat "$work/err")"
done
[ ! -d "$work/planted" ] || [ -z "$(ls -A "$work/planted")" ] || fail "the script wrote into another user's folder"
echo "1 passed, 0 failed"
