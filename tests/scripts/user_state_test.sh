#!/bin/bash
# The project's scripts leave the user's own state alone: a Wine prefix named
# by WINEPREFIX stays byte-identical and a display named by DISPLAY that the
# tests did not start is never connected to, through `scripts/test host` and a
# Windows test program run as CTest runs it; no lock descriptor is left open in
# the display or Wine server the scripts start.
# Usage: user_state_test.sh REPO WINDOWS_TEST.exe WORK_DIR
set -euo pipefail
repo="$1" program="$2" work="$3"
fail() {
    echo "FAIL: $*"
    exit 1
}

rm -rf "$work"
mkdir -p "$work/user-prefix/drive_c/users/me"
printf 'WINE REGISTRY Version 2\n;; somebody else'"'"'s registry\n' >"$work/user-prefix/user.reg"
printf 'keep me\n' >"$work/user-prefix/drive_c/users/me/notes.txt"
snapshot() {
    (cd "$work/user-prefix" && find . -printf '%p %y %s %m %T@\n' | LC_ALL=C sort &&
        find . -type f -exec sha256sum {} + | LC_ALL=C sort)
}
snapshot >"$work/prefix-before.txt"

python3 "$(dirname "${BASH_SOURCE[0]}")/display_trap.py" "$work/display-number" "$work/display-clients.log" &
trap_pid=$!
trap 'kill "$trap_pid" 2>/dev/null || true' EXIT
for _ in $(seq 1 50); do
    [ -s "$work/display-number" ] && break
    sleep 0.1
done
[ -s "$work/display-number" ] || fail "the display trap did not start"
touch "$work/display-clients.log"
export WINEPREFIX="$work/user-prefix" DISPLAY=":$(cat "$work/display-number")"
echo "user's prefix: $WINEPREFIX; user's display: $DISPLAY"

"$repo/scripts/test" host >"$work/scripts-test.log" 2>&1 || {
    tail -20 "$work/scripts-test.log"
    fail "scripts/test host failed"
}
echo "scripts/test host: passed"
"$repo/scripts/wine-run" "$program" --gtest_brief=1 >"$work/windows-test.log" 2>&1 || true
grep -q '\[  PASSED  \] [1-9]' "$work/windows-test.log" || {
    tail -20 "$work/windows-test.log"
    fail "$(basename "$program") did not pass under scripts/wine-run"
}
echo "$(basename "$program") under scripts/wine-run: passed"

snapshot >"$work/prefix-after.txt"
diff -u "$work/prefix-before.txt" "$work/prefix-after.txt" || fail "the user's prefix changed"
echo "the user's prefix is byte-identical"
[ ! -s "$work/display-clients.log" ] ||
    fail "$(wc -l <"$work/display-clients.log") connections to the user's display"
echo "nobody connected to the user's display"

leaks=""
for pid in $(pgrep -x 'Xvfb|openbox|wineserver64|wineserver' || true); do
    if ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "$repo/build/.*\.lock"; then
        leaks="$leaks $(cat "/proc/$pid/comm")[$pid]"
    fi
done
[ -z "$leaks" ] || fail "lock files left open in:$leaks"
echo "no lock file open in the display or Wine servers"
echo "PASS: the user's prefix and display are left alone"
