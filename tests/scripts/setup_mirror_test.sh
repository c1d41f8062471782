#!/bin/bash
# Set-up survives a package mirror in the middle of a sync: with apt-get
# whose update fails on one index and which cannot install 32-bit Wine, and
# dpkg-query that reports 32-bit Wine missing, `scripts/setup` goes on without
# it and says why, the next run tries the install again, `scripts/test host`
# passes, and the 32-bit check gives apt's reason. The stand-ins never call
# the real apt-get or change dpkg's state.
# Usage: setup_mirror_test.sh REPO WORK_DIR
set -euo pipefail
repo="$1" work="$2"
fail() {
    echo "FAIL: $*"
    exit 1
}

rm -rf "$work"
mkdir -p "$work/bin"
calls="$work/apt-get.calls"
touch "$calls"
real_dpkg_query="$(command -v dpkg-query)"

cat >"$work/bin/apt-get" <<EOF
#!/bin/bash
echo "\$*" >>"$calls"
case " \$* " in
    *" update "*)
        echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]" >&2
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
        exit 100 ;;
    *" install "*" wine32:i386 "*)
        echo "The following packages have unmet dependencies:"
        echo " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
        echo " libwine:i386 : Depends: zlib1g:i386 (>= 1:1.2.3.3) but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages." >&2
        exit 100 ;;
esac
echo "E: this test's apt-get installs nothing" >&2
exit 100
EOF
cat >"$work/bin/dpkg-query" <<EOF
#!/bin/bash
for arg; do
    case "\$arg" in
        wine32:i386 | libwine:i386)
            echo "dpkg-query: no packages found matching \$arg" >&2
            exit 1 ;;
    esac
done
exec "$real_dpkg_query" "\$@"
EOF
cat >"$work/bin/dpkg" <<EOF
#!/bin/bash
[ "\$*" = --print-foreign-architectures ] && echo i386 && exit 0
echo "dpkg \$*" >>"$calls"
exit 2
EOF
chmod +x "$work/bin/"*
export PATH="$work/bin:$PATH" VOCARET_SETUP_RETRY_PAUSE=0

# The reason set-up records belongs to the machine's own state: put it back.
note="$repo/build/setup/wine32-missing"
[ -f "$note" ] && cp "$note" "$work/note-before"
trap '[ -f "$work/note-before" ] && cp "$work/note-before" "$note" || rm -f "$note"' EXIT

status=0
"$repo/scripts/setup" >"$work/setup.log" 2>&1 || status=$?
cat "$work/setup.log"
[ "$status" -eq 0 ] || fail "scripts/setup exited with $status"
grep -qxF "setup: apt-get update failed 3 times (Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?); going on with the indexes that arrived" "$work/setup.log" ||
    fail "no line saying that apt-get update failed"
wine32_line="setup: 32-bit Wine (wine32:i386 libwine:i386) is not installed: unmet dependencies (wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed); going on without it (the win32 program runs are skipped)"
grep -qxF "$wine32_line" "$work/setup.log" || fail "no line naming 32-bit Wine and apt's reason"
[ "$(grep -c '^update' "$calls")" -eq 3 ] || fail "apt-get update was not tried 3 times"
[ "$(grep -c 'install .*wine32:i386' "$calls")" -eq 1 ] || fail "no install of wine32:i386 was tried"
echo "scripts/setup: exit 0 without 32-bit Wine"

"$repo/scripts/test" host >"$work/scripts-test.log" 2>&1 || {
    tail -20 "$work/scripts-test.log"
    fail "scripts/test host failed"
}
grep -qxF "  host: passed" "$work/scripts-test.log" || fail "scripts/test host did not report host passed"
grep -qxF "$wine32_line" "$work/scripts-test.log" || fail "the set-up of scripts/test did not say why 32-bit Wine is missing"
[ "$(grep -c 'install .*wine32:i386' "$calls")" -eq 2 ] || fail "the second set-up did not try the install again"
echo "scripts/test host: passed, and its set-up tried the install again"

reason="$(unset VOCARET_WINE_ROOT VOCARET_NO_32BIT
    source "$repo/scripts/wine-env"
    vocaret_win32_runs "$work/no-probe.exe" || echo "$vocaret_win32_reason")"
[ "$reason" = "32-bit Wine (wine32:i386) is not installed: unmet dependencies (wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed)" ] ||
    fail "the 32-bit check gave: $reason"
echo "the 32-bit check: $reason"

! grep -v '^update\|^install' "$calls" || fail "the stand-ins were asked to change the machine"
echo "PASS: set-up goes on without 32-bit Wine while the mirror syncs"
