# Sourced by the release tests: failing, a private PulseAudio sink for Wine,
# and one cue check (start vocaret.exe, focus a "Mentés" button in another
# process, read PlaySound's outcome from Wine's winmm trace).

rl_fail() {
    echo "FAIL: $*"
    exit 1
}

# Skips the rest of the test (exit 77, with the reason) on a machine that
# cannot run the 32-bit Windows programs it checks.
rl_need_win32() {
    "$(dirname "${BASH_SOURCE[0]}")/../../scripts/win32-check" \
        "${VOCARET_WIN32_PROBE:?set by CTest to the probe program of the win32 build}" || exit $?
}

# rl_expected_listing FOLDER CUE_TABLE.cpp NAME...
# What a package puts in FOLDER, sorted: the NAMEs, README.txt, the cue list
# Hangok.txt, Sounds\ with the table's sound files, and the tour Bemutato\
# with its index Tartalom.txt and the MP3s the index names.
rl_expected_listing() {
    local folder="$1" table="$2"
    shift 2
    {
        printf '%s\n' "$@" README.txt Hangok.txt Sounds Bemutato Bemutato/Tartalom.txt
        grep -o '"Sounds\\\\[^"]*"' "$table" | sed -e 's/^"Sounds\\\\/Sounds\//' -e 's/"$//' | sort -u
        if [ -f "$folder/Bemutato/Tartalom.txt" ]; then
            tr -d '\r' <"$folder/Bemutato/Tartalom.txt" | sed -n 's|^\([^ ]*\.mp3\) (.*|Bemutato/\1|p' | sort -u
        fi
    } | LC_ALL=C sort
}

# Starts a PulseAudio server of our own with a null sink, so Wine has an audio
# output and PlaySound of a file that exists ends "ok". Sets PULSE_SERVER.
rl_start_pulse() {
    local dir="$1"
    rm -rf "$dir"
    mkdir -p "$dir/home"
    export XDG_RUNTIME_DIR="$dir" HOME="$dir/home" PULSE_SERVER="unix:$dir/pulse.sock"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
        -L module-null-sink \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/pulse.sock" \
        >"$dir/pulse.log" 2>&1 </dev/null &
    rl_pulse_pid=$!
    local i
    for i in $(seq 1 100); do
        pactl info >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    cat "$dir/pulse.log"
    rl_fail "the PulseAudio server did not start"
}

rl_stop_pulse() {
    if [ -n "${rl_pulse_pid:-}" ]; then
        kill "$rl_pulse_pid" 2>/dev/null || true
        wait "$rl_pulse_pid" 2>/dev/null || true
        rl_pulse_pid=
    fi
}

# rl_focus_and_close LABEL
# With Vocaret running, focuses the helper's "Mentés" button, then closes
# Vocaret's window.
rl_focus_and_close() {
    local label="$1"
    "$WINELOADER" "$rl_helper" wait 2>/dev/null </dev/null || rl_fail "$label: vocaret.exe did not open its window"
    "$WINELOADER" "$rl_helper" focus 2>/dev/null </dev/null || rl_fail "$label: the helper's button did not get the focus"
    "$WINELOADER" "$rl_helper" close 2>/dev/null </dev/null || rl_fail "$label: vocaret.exe did not close"
}

# rl_expect_played TRACE EXPECT LABEL
# Checks that the winmm trace TRACE has Sounds\Save.wav played with outcome
# EXPECT ("ok" or "ko") and never with the other one.
rl_expect_played() {
    local trace="$1" expect="$2" label="$3"
    # Only PlaySound's own lines; Wine's fixme noise is left out.
    grep -a -E 'proc_PlaySound (SoundName|Done playing)=' "$trace" | sed 's/^[0-9a-f]*://' || true
    local other=ok
    [ "$expect" = ok ] && other=ko
    grep -a -q -F 'Done playing=L"Sounds\\Save.wav" => '"$expect"'!' "$trace" ||
        rl_fail "$label: no PlaySound of Sounds\\Save.wav ending => $expect!"
    if grep -a -q -F 'Done playing=L"Sounds\\Save.wav" => '"$other"'!' "$trace"; then
        rl_fail "$label: a PlaySound of Sounds\\Save.wav ended => $other!"
    fi
    echo "$label: Sounds\\Save.wav played => $expect"
}

# rl_cue_check FOLDER EXE EXPECT LABEL
# Runs EXE (a Unix path) with FOLDER as its current directory under
# WINEDEBUG=trace+winmm, focuses the helper's "Mentés" button, closes the
# program and checks the outcome of its PlaySound of Sounds\Save.wav.
rl_cue_check() {
    local folder="$1" exe="$2" expect="$3" label="$4"
    local trace="$rl_work/trace-$label.txt"
    echo "--- $label: $exe in $folder, expecting => $expect"
    (cd "$folder" && WINEDEBUG=trace+winmm exec "$WINELOADER" "$exe") >/dev/null 2>"$trace" </dev/null &
    local vocaret_pid=$!
    rl_focus_and_close "$label"
    wait "$vocaret_pid" || true
    rl_expect_played "$trace" "$expect" "$label"
}

# A Wine prefix and display of this test's own under $rl_work, ended with
# the test. Takes the folder of the calling script.
rl_start_wine() {
    export VOCARET_WINE_ROOT="$rl_work/wine"
    unset WINEPREFIX
    source "$1/../../scripts/wine-env"
    trap rl_stop_wine EXIT
    vocaret_ensure_display
    vocaret_ensure_prefix
}

rl_stop_wine() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rl_stop_pulse
    vocaret_stop_display
}
