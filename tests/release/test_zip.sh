#!/bin/bash
# The zip a user unpacks: its exact listing, then the unpacked 32-bit
# vocaret.exe under Wine, started from its folder, plays Sounds\Save.wav when a
# "Mentés" button of another program gets the focus (=> ok), and plays nothing
# found once the Sounds folder is gone (=> ko).
# Usage: test_zip.sh ZIP FOCUS_HELPER.exe CUE_TABLE.cpp WORK_DIR
set -euo pipefail
zip="$(realpath "$1")" rl_helper="$2" cue_table="$3" rl_work="$4"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/release-lib.sh"

[ -s "$zip" ] || rl_fail "no zip at $zip"
rm -rf "$rl_work/unpacked" "$rl_work"/trace-*.txt
mkdir -p "$rl_work/unpacked"
unpacked="$rl_work/unpacked"
# CMake unpacks zips itself: no unzip needed.
(cd "$unpacked" && cmake -E tar xf "$zip")

# The listing: exactly the program, the README and the table's 49 sounds.
expected="$rl_work/expected-listing.txt"
actual="$rl_work/actual-listing.txt"
{
    printf '%s\n' README.txt Sounds vocaret.exe
    grep -o '"Sounds\\\\[^"]*"' "$cue_table" | sed -e 's/^"Sounds\\\\/Sounds\//' -e 's/"$//' | sort -u
} | LC_ALL=C sort >"$expected"
(cd "$unpacked" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort) >"$actual"
echo "--- zip listing ($(wc -l <"$actual") entries)"
cat "$actual"
[ "$(grep -c '^Sounds/' "$expected")" -eq 49 ] || rl_fail "the cue table does not name 49 sound files"
diff -u "$expected" "$actual" || rl_fail "the zip's listing differs from the expected one"
[ -d "$unpacked/Sounds" ] || rl_fail "Sounds is not a folder"

# What each file is: a 32-bit Windows GUI program, WAVE files, a README for Notepad.
pe_offset=$(od -An -t u4 -j 60 -N 4 "$unpacked/vocaret.exe" | tr -d ' ')
[ "$(od -An -c -j "$pe_offset" -N 4 "$unpacked/vocaret.exe" | tr -d ' ')" = 'PE\0\0' ] ||
    rl_fail "vocaret.exe is not a PE program"
machine=$(od -An -t x2 -j $((pe_offset + 4)) -N 2 "$unpacked/vocaret.exe" | tr -d ' ')
[ "$machine" = 014c ] || rl_fail "vocaret.exe is not a 32-bit x86 program (machine $machine)"
echo "vocaret.exe: PE, machine 0x$machine (i386)"
for wav in "$unpacked"/Sounds/*; do
    [ "$(head -c 4 "$wav")" = RIFF ] && [ "$(tail -c +9 "$wav" | head -c 4)" = WAVE ] ||
        rl_fail "$wav is not a RIFF WAVE file"
done
echo "Sounds: 49 RIFF WAVE files"
[ "$(head -c 3 "$unpacked/README.txt" | od -An -t x1 | tr -d ' ')" = efbbbf ] ||
    rl_fail "README.txt does not start with a UTF-8 byte order mark"
for phrase in 'Options > Exit' 'Sounds' 'Kilépés' 'saját mappájából' '/NOSTARTUP'; do
    grep -q -F "$phrase" "$unpacked/README.txt" || rl_fail "README.txt does not say \"$phrase\""
done
echo "README.txt: UTF-8 with BOM, says where to start the program from, how to quit and the silent install's switch"

# Under Wine, in a prefix of this test's own.
rl_start_wine "$here"
rl_start_pulse "$rl_work/pulse"

rl_cue_check "$unpacked" "$unpacked/vocaret.exe" ok zip-with-sounds
mv "$unpacked/Sounds" "$unpacked/Sounds.moved-away"
rl_cue_check "$unpacked" "$unpacked/vocaret.exe" ko zip-without-sounds
mv "$unpacked/Sounds.moved-away" "$unpacked/Sounds"
echo "PASS: the zip holds exactly what it should, and its vocaret.exe plays its cues from its own folder"
