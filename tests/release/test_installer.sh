#!/bin/bash
# The installer a user runs, in a fresh Wine prefix: an install through its
# pages with "Start Vocaret when I sign in" (ticked at first) unticked, the
# files it puts in place, its uninstall entry and Start-menu shortcut, and no
# start at sign-in; then a silent upgrade over the running program, which
# closes it, adds the Startup shortcut and starts the program again from its
# folder (a cue => ok); the program started the way the Startup shortcut
# starts it plays a cue; a silent install with /NOSTARTUP takes the Startup
# shortcut away; a silent uninstall leaves nothing behind.
# The tour and the cue list are among the files, and the tour has a
# Start-menu shortcut of its own.
# Usage: test_installer.sh SETUP.exe FOCUS_HELPER.exe READ_SHORTCUT.exe BUILT_VOCARET.exe CUE_TABLE.cpp WORK_DIR
set -euo pipefail
installer="$1" rl_helper="$2" read_shortcut="$3" built_vocaret="$4" cue_table="$5" rl_work="$6"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/release-lib.sh"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vocaret'

[ -s "$installer" ] || rl_fail "no installer at $installer"
grep -a -q 'level="asInvoker"' "$installer" ||
    rl_fail "the installer's manifest does not ask to run as the invoking user"
echo "installer manifest: requestedExecutionLevel asInvoker (no administrator rights)"
# The installer itself is a 32-bit program.
rl_need_win32

# A prefix of this run's own, made afresh.
rm -rf "$rl_work"
mkdir -p "$rl_work"
rl_start_wine "$here"

wine_out() {  # runs a Windows command and prints its stdout without CRs
    "$WINELOADER" "$@" 2>/dev/null </dev/null | tr -d '\r'
}
local_appdata="$(wine_out cmd /c echo '%LOCALAPPDATA%')"
appdata="$(wine_out cmd /c echo '%APPDATA%')"
instdir_win="$local_appdata\\Programs\\Vocaret"
shortcut_win="$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Vocaret.lnk"
tour_shortcut_win="$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Vocaret hangjainak bemutatója.lnk"
startup_win="$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"
instdir="$(wine_out winepath -u "$instdir_win")"
shortcut="$(wine_out winepath -u "$shortcut_win")"
tour_shortcut="$(dirname "$shortcut")/Vocaret hangjainak bemutatója.lnk"
startup="$(wine_out winepath -u "$startup_win")"
[ -n "$local_appdata" ] && [ -n "$instdir" ] && [ -n "$shortcut" ] ||
    rl_fail "cannot find the prefix's user folders"
[ ! -e "$instdir" ] || rl_fail "$instdir exists before the install"

echo "--- install through the pages, start at sign-in unticked: $(basename "$installer")"
"$WINELOADER" "$installer" >/dev/null 2>&1 </dev/null &
installer_pid=$!
"$WINELOADER" "$rl_helper" install-unticked 2>/dev/null </dev/null || rl_fail "the installer's pages did not go as expected"
wait "$installer_pid" || true
timeout 60 "$WINESERVER" -w || rl_fail "a program started by the installer is still running"

# The files: exactly the program, the README, the uninstaller, the 49 sounds,
# the cue list and the tour.
expected="$rl_work/expected-installed.txt"
actual="$rl_work/actual-installed.txt"
rl_expected_listing "$instdir" "$cue_table" Uninstall.exe vocaret.exe >"$expected"
[ -d "$instdir" ] || rl_fail "nothing installed in $instdir_win"
(cd "$instdir" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort) >"$actual"
echo "installed in $instdir_win: $(wc -l <"$actual") entries, $(grep -c '^Sounds/' "$actual") in Sounds"
grep -v '^Sounds/' "$actual"
diff -u "$expected" "$actual" || rl_fail "the installed files differ from the expected ones"
cmp "$built_vocaret" "$instdir/vocaret.exe" || rl_fail "the installed vocaret.exe is not the built one"
cmp "$here/../../packaging/README.txt" "$instdir/README.txt" || rl_fail "the installed README.txt differs"
echo "installed vocaret.exe and README.txt are the built ones"

# The uninstall entry, under the user's own key.
echo "--- reg query $uninstall_key"
wine_out reg query "$uninstall_key" | tee "$rl_work/uninstall-key.txt"
grep -q "UninstallString.*\"$(printf '%s' "$instdir_win" | sed 's/\\/\\\\/g')\\\\Uninstall.exe\"" \
    "$rl_work/uninstall-key.txt" || rl_fail "no UninstallString naming $instdir_win\\Uninstall.exe"
grep -q 'DisplayName.*Vocaret' "$rl_work/uninstall-key.txt" || rl_fail "no DisplayName"
# Unticked: neither a Run value nor a Startup shortcut.
if wine_out reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' | grep -qi vocaret; then
    rl_fail "the installer added an autostart Run entry"
fi
if [ -d "$startup" ] && ls "$startup" | grep -qi vocaret; then
    rl_fail "the installer put a shortcut in the Startup folder"
fi
echo "no autostart entry"

# expect_shortcut UNIX_PATH WINDOWS_PATH: the shortcut starts the installed
# vocaret.exe without arguments in the install folder; sets target_win and
# workdir_win.
expect_shortcut() {
    [ -f "$1" ] || rl_fail "no shortcut at $2"
    echo "--- read_shortcut $2"
    local fields
    fields="$(wine_out "$read_shortcut" "$2")"
    echo "$fields"
    target_win="$(sed -n 's/^target=//p' <<<"$fields")"
    workdir_win="$(sed -n 's/^workdir=//p' <<<"$fields")"
    [ "${target_win,,}" = "${instdir_win,,}\\vocaret.exe" ] || rl_fail "$2 does not start $instdir_win\\vocaret.exe"
    [ "${workdir_win,,}" = "${instdir_win,,}" ] || rl_fail "$2's working directory is not $instdir_win"
    grep -qx 'arguments=' <<<"$fields" || rl_fail "$2 passes arguments"
    echo "shortcut: target and working directory are the install folder's"
}
expect_shortcut "$shortcut" "$shortcut_win"

# The tour's shortcut, beside Vocaret's, opens the installed Bemutato folder.
[ -f "$tour_shortcut" ] || rl_fail "no Start-menu shortcut at $tour_shortcut_win"
tour_target_win="$(wine_out "$read_shortcut" "$tour_shortcut_win" | sed -n 's/^target=//p')"
[ "${tour_target_win,,}" = "${instdir_win,,}\\bemutato" ] || rl_fail "the tour's shortcut opens \"$tour_target_win\", not $instdir_win\\Bemutato"
echo "tour shortcut: opens $tour_target_win"

# Upgrade over the running program, started as the Start-menu shortcut starts it.
rl_start_pulse "$rl_work/pulse"
(cd "$instdir" && exec "$WINELOADER" "$instdir/vocaret.exe") >/dev/null 2>&1 </dev/null &
running_pid=$!
"$WINELOADER" "$rl_helper" wait 2>/dev/null </dev/null || rl_fail "the installed vocaret.exe did not start"
echo "--- silent upgrade over the running program: $(basename "$installer") /S"
# The program it starts again writes its winmm trace where the installer's goes.
WINEDEBUG=trace+winmm "$WINELOADER" "$installer" /S 2>"$rl_work/trace-restarted.txt" </dev/null
for _ in $(seq 1 50); do
    kill -0 "$running_pid" 2>/dev/null || break
    sleep 0.1
done
! kill -0 "$running_pid" 2>/dev/null || rl_fail "the upgrade left the running program running"
wait "$running_pid" || true
echo "the upgrade closed the running program"
rl_focus_and_close restarted
timeout 60 "$WINESERVER" -w
rl_expect_played "$rl_work/trace-restarted.txt" ok restarted

# /S alone: start at sign-in, from the install folder.
expect_shortcut "$startup/Vocaret.lnk" "$startup_win\\Vocaret.lnk"
rl_cue_check "$(wine_out winepath -u "$workdir_win")" "$(wine_out winepath -u "$target_win")" ok startup-shortcut
"$WINESERVER" -w

echo "--- silent install without start at sign-in: $(basename "$installer") /S /NOSTARTUP"
"$WINELOADER" "$installer" /S /NOSTARTUP 2>/dev/null </dev/null
timeout 60 "$WINESERVER" -w
[ ! -e "$startup/Vocaret.lnk" ] || rl_fail "/NOSTARTUP left the Startup shortcut"
[ -f "$shortcut" ] || rl_fail "/NOSTARTUP took the Start-menu shortcut away"
echo "/NOSTARTUP: no Startup shortcut"

echo "--- silent uninstall: Uninstall.exe /S"
"$WINELOADER" "$instdir/Uninstall.exe" /S 2>/dev/null </dev/null
# The uninstaller runs on as a copy of itself in the temporary folder.
timeout 60 "$WINESERVER" -w
[ ! -e "$instdir" ] || { find "$instdir"; rl_fail "$instdir_win is still there"; }
[ ! -e "$shortcut" ] || rl_fail "the Start-menu shortcut is still there"
[ ! -e "$tour_shortcut" ] || rl_fail "the tour's Start-menu shortcut is still there"
[ ! -e "$startup/Vocaret.lnk" ] || rl_fail "the Startup shortcut is still there"
if wine_out reg query "$uninstall_key" | grep -q .; then
    rl_fail "the uninstall key $uninstall_key is still there"
fi
if "$WINELOADER" reg query "$uninstall_key" >/dev/null 2>&1 </dev/null; then
    rl_fail "reg query still finds $uninstall_key"
fi
echo "after uninstall: no $instdir_win, no shortcuts, no $uninstall_key"
echo "PASS: the installer installs with and without start at sign-in, through its pages and silently, upgrades over the running program and uninstalls cleanly"
