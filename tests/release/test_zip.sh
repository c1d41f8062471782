#!/bin/bash
# The zip a user unpacks.
#   contents: its exact listing, the kinds of its files and the size of the
#   tour (no Windows program runs);
#   cue: the unpacked 32-bit vocaret.exe under Wine, started from its folder,
#   plays Sounds\Save.wav when a "Mentés" button of another program gets the
#   focus (=> ok), and plays nothing found once the Sounds folder is gone (=> ko).
# Usage: test_zip.sh contents|cue ZIP FOCUS_HELPER.exe CUE_TABLE.cpp WORK_DIR
set -euo pipefail
mode="$1" zip="$(realpath "$2")" rl_helper="$3" cue_table="$4" rl_work="$5"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/release-lib.sh"
case "$mode" in contents|cue) ;; *) rl_fail "unknown mode $mode" ;; esac

[ -s "$zip" ] || rl_fail "no zip at $zip"
rm -rf "$rl_work/unpacked" "$rl_work"/trace-*.txt
mkdir -p "$rl_work/unpacked"
unpacked="$rl_work/unpacked"
# CMake unpacks zips itself: no unzip needed.
(cd "$unpacked" && cmake -E tar xf "$zip")

if [ "$mode" = cue ]; then
    rl_need_win32
    # Under Wine, in a prefix of this test's own.
    rl_start_wine "$here"
    rl_start_pulse "$rl_work/pulse"

    rl_cue_check "$unpacked" "$unpacked/vocaret.exe" ok zip-with-sounds
    mv "$unpacked/Sounds" "$unpacked/Sounds.moved-away"
    rl_cue_check "$unpacked" "$unpacked/vocaret.exe" ko zip-without-sounds
    mv "$unpacked/Sounds.moved-away" "$unpacked/Sounds"
    echo "PASS: the zip's vocaret.exe plays its cues from its own folder"
    exit 0
fi

# The listing: exactly the program, the README, the table's 49 sounds, the
# cue list and the tour with its index and the MP3s it names.
expected="$rl_work/expected-listing.txt"
actual="$rl_work/actual-listing.txt"
rl_expected_listing "$unpacked" "$cue_table" vocaret.exe >"$expected"
(cd "$unpacked" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort) >"$actual"
echo "--- zip listing ($(wc -l <"$actual") entries)"
cat "$actual"
[ "$(grep -c '^Sounds/' "$expected")" -eq 49 ] || rl_fail "the cue table does not name 49 sound files"
grep -q '^Bemutato/.*\.mp3$' "$expected" || rl_fail "the tour's index names no MP3 file"
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
for mp3 in "$unpacked"/Bemutato/*.mp3; do
    # An ID3v2 tag, then an MPEG-1 Layer III mono frame (what Windows plays itself).
    [ "$(head -c 3 "$mp3")" = ID3 ] || rl_fail "$mp3 does not start with an ID3v2 tag"
    tag_size=$(od -An -t u1 -j 6 -N 4 "$mp3" | awk '{print $1*2097152 + $2*16384 + $3*128 + $4}')
    frame=$(od -An -t x1 -j $((10 + tag_size)) -N 4 "$mp3" | tr -d ' ')
    [[ "$frame" =~ ^fffb..[c-f] ]] || rl_fail "$mp3: no MPEG-1 Layer III mono frame after the tag ($frame)"
done
echo "Bemutato: $(ls "$unpacked"/Bemutato/*.mp3 | wc -l) MP3 files (MPEG-1 Layer III, mono)"
# The tour and the cue list add at most 2 MB; MP3 does not shrink in the zip
# or in the installer's LZMA, so their own size bounds both packages' growth.
tour_bytes=$(cat "$unpacked"/Bemutato/* "$unpacked/Hangok.txt" | wc -c)
echo "Bemutato and Hangok.txt: $tour_bytes bytes"
[ "$tour_bytes" -le 2000000 ] || rl_fail "the tour and the cue list take $tour_bytes bytes, over 2 MB"
for text in README.txt Hangok.txt Bemutato/Tartalom.txt; do
    [ "$(head -c 3 "$unpacked/$text" | od -An -t x1 | tr -d ' ')" = efbbbf ] ||
        rl_fail "$text does not start with a UTF-8 byte order mark"
done
for phrase in 'Options > Exit' 'Sounds' 'Kilépés' 'saját mappájából' 'Bemutato' 'Hangok.txt' '/NOSTARTUP'; do
    grep -q -F "$phrase" "$unpacked/README.txt" || rl_fail "README.txt does not say \"$phrase\""
done
# Each language says what a copy started from another folder plays, and that
# the Settings window's check boxes, named as the program names them, do nothing.
mapfile -t captions < <(sed -n 's/^ *CONTROL "\([^"]*\)", IDC_[A-Z_]*, "Button", BS_AUTOCHECKBOX.*/\1/p' \
    "$here/../../res/vocaret.rc")
[ "${#captions[@]}" -eq 2 ] || rl_fail "found ${#captions[@]} check boxes in res/vocaret.rc, not the Settings window's two"
hungarian=$(sed '/^ENGLISH\r$/,$d' "$unpacked/README.txt")
english=$(sed -n '/^ENGLISH\r$/,$p' "$unpacked/README.txt")
for phrase in 'alapértelmezett Windows-hang' 'Options > Settings' "${captions[@]}"; do
    grep -q -F "$phrase" <<<"$hungarian" || rl_fail "README.txt's Hungarian part does not say \"$phrase\""
done
for phrase in 'default Windows sound' 'Options > Settings' "${captions[@]}"; do
    grep -q -F "$phrase" <<<"$english" || rl_fail "README.txt's English part does not say \"$phrase\""
done
echo "README.txt, Hangok.txt, Tartalom.txt: UTF-8 with BOM; README.txt says where to start the program from and what plays otherwise, how to quit, that the Settings window does nothing, where the tour is and the silent install's switch"

echo "PASS: the zip holds exactly what it should"
