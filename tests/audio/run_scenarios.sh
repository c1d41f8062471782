#!/bin/bash
# Listens to vocaret.exe under Wine: a PulseAudio server of its own with a null
# sink, the sink's monitor recorded by parec, vocaret.exe and the scripted
# target started from a Windows build's bin folder, and each scenario decided
# from the recorded audio alone by audio_match.
# Usage: run_scenarios.sh BIN_FOLDER AUDIO_MATCH [MORE_BIN_FOLDERS...]
# VOCARET_AUDIO_ROOT: where the Wine prefix, display, server and captures live
# (default build/audio-wine). Exits non-zero when any scenario fails.
set -uo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 BIN_FOLDER AUDIO_MATCH [MORE_BIN_FOLDERS...]" >&2
    exit 2
fi
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
audio_match="$(realpath "$2")"
bins=("$1" "${@:3}")
root="$(realpath -m "${VOCARET_AUDIO_ROOT:-$repo/build/audio-wine}")"
mkdir -p "$root"

# A display, prefix and Wine server of this run's own.
unset DISPLAY WINEPREFIX
export VOCARET_WINE_ROOT="$root"
# shellcheck source=../../scripts/wine-env
source "$repo/scripts/wine-env"
vocaret_ensure_display
vocaret_ensure_prefix
vocaret_restart_wine

pulse="$root/pulse"
rm -rf "$pulse"
mkdir -p "$pulse"
chmod 700 "$pulse"
export PULSE_SERVER="unix:$pulse/native"
pulse_pid=""
parec_pid=""
vocaret_pid=""

cleanup() {
    [ -n "$parec_pid" ] && kill "$parec_pid" 2>/dev/null
    [ -n "$vocaret_pid" ] && kill "$vocaret_pid" 2>/dev/null
    "$WINESERVER" -k >/dev/null 2>&1
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null
    vocaret_stop_display
}
trap cleanup EXIT

XDG_RUNTIME_DIR="$pulse" HOME="$pulse" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --disable-shm=yes -L "module-null-sink sink_name=vocaret_sink" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$pulse/native" \
    >"$pulse/server.log" 2>&1 </dev/null &
pulse_pid=$!
for _ in $(seq 1 50); do
    [ -S "$pulse/native" ] && break
    sleep 0.1
done
if [ ! -S "$pulse/native" ]; then
    echo "run_scenarios: the PulseAudio server did not start:" >&2
    cat "$pulse/server.log" >&2
    exit 1
fi
export XDG_RUNTIME_DIR="$pulse"

capture=""
# The capture clock: milliseconds of audio recorded so far.
now_ms() {
    local bytes
    bytes=$(stat -c %s "$capture")
    echo $((bytes / 96))
}

start_capture() {
    capture="$1"
    : >"$capture"
    parec --raw --format=s16le --rate=48000 --channels=1 --latency-msec=1 \
        -d vocaret_sink.monitor >"$capture" 2>>"$pulse/parec.log" &
    parec_pid=$!
    # An idle null sink delivers nothing for up to 2 s; then it streams.
    local i
    for i in $(seq 1 100); do
        [ -s "$capture" ] && break
        sleep 0.05
    done
    if [ ! -s "$capture" ]; then
        echo "run_scenarios: parec recorded nothing" >&2
        return 1
    fi
    sleep 0.3
}

stop_capture() {
    kill "$parec_pid" 2>/dev/null
    wait "$parec_pid" 2>/dev/null
    parec_pid=""
}

# One command to the target, its answer in $reply.
reply=""
send() {
    printf '%s\n' "$1" >&"${target[1]}"
    if ! IFS= read -r -t 15 reply <&"${target[0]}"; then
        echo "run_scenarios: no answer from the target to: $1" >&2
        reply=""
        return 1
    fi
    reply="${reply%$'\r'}"
    case "$reply" in ok*) return 0 ;; esac
    echo "run_scenarios: target answered '$reply' to: $1" >&2
    return 1
}

names_read() {
    send stats || return 1
    local n="${reply#*names=}"
    echo "${n%% *}"
}

# Raises an event and waits until vocaret has read the element's name.
raise_read() {
    local before after i
    before=$(names_read) || return 1
    send "raise $1" || return 1
    for i in $(seq 1 200); do
        after=$(names_read) || return 1
        [ "$after" -gt "$before" ] && return 0
        sleep 0.01
    done
    echo "run_scenarios: vocaret never read the name after raise $1" >&2
    return 1
}

# Scenario bookkeeping: name, window in capture ms, expectation.
scenario_names=()
scenario_from=()
scenario_to=()
scenario_expect=()
scenario_mark=()
begin_scenario() {
    scenario_names+=("$1")
    scenario_expect+=("$2")
    scenario_from+=("$(now_ms)")
}
mark() { scenario_mark+=("${#scenario_names[@]}:$(now_ms)"); }
end_scenario() {
    sleep "${1:-0.7}"
    scenario_to+=("$(now_ms)")
}

summary=()
failed=0

run_build() {
    local bin
    bin="$(realpath "$1")"
    local label
    label="$(basename "$(dirname "$bin")")"
    scenario_names=()
    scenario_from=()
    scenario_to=()
    scenario_expect=()
    scenario_mark=()
    if [ ! -f "$bin/vocaret.exe" ] || [ ! -f "$bin/vocaret_target.exe" ] || [ ! -d "$bin/Sounds" ]; then
        summary+=("$(printf '%-8s %-34s %-6s %s' "$label" "(build)" FAIL "vocaret.exe, vocaret_target.exe or Sounds missing in $bin")")
        failed=1
        return
    fi
    local capture_file="$root/capture-$label.raw"
    start_capture "$capture_file" || { failed=1; summary+=("$label capture FAIL"); return; }

    (cd "$bin" && exec "$WINELOADER" vocaret.exe >"$root/vocaret-$label.log" 2>&1 </dev/null) &
    vocaret_pid=$!
    local window="" i
    for i in $(seq 1 150); do
        window=$(xdotool search --name '^Vocaret$' 2>/dev/null | head -1)
        [ -n "$window" ] && break
        sleep 0.1
    done
    if [ -z "$window" ]; then
        summary+=("$(printf '%-8s %-34s %-6s %s' "$label" "(start)" FAIL "no Vocaret window")")
        failed=1
        stop_capture
        return
    fi

    coproc target { exec "$WINELOADER" "$bin/vocaret_target.exe" 2>>"$root/target-$label.log"; }
    if ! IFS= read -r -t 30 reply <&"${target[0]}" || [ "${reply%$'\r'}" != "ok ready" ]; then
        summary+=("$(printf '%-8s %-34s %-6s %s' "$label" "(target)" FAIL "target not ready: $reply")")
        failed=1
        stop_capture
        return
    fi
    # Somewhere inside the target's window, away from its buttons, for the clicks.
    local geometry x y
    geometry=$(xdotool search --name '^Vocaret test target$' getwindowgeometry --shell 2>/dev/null | head -5)
    x=$(sed -n 's/^X=//p' <<<"$geometry")
    y=$(sed -n 's/^Y=//p' <<<"$geometry")
    x=$((${x:-300} + 200))
    y=$((${y:-300} + 120))
    sleep 0.5

    send "rect 0 0 1 1"
    begin_scenario "focus Mentés" "Save.wav"
    send "name Mentés" && mark && raise_read 8005
    end_scenario 1.0

    begin_scenario "show Nyomtatás..." "Print.wav"
    send "name Nyomtatás..." && mark && raise_read 8002
    end_scenario

    begin_scenario "focus Mentés másként (no cue)" ""
    send "name Mentés másként" && mark && raise_read 8005
    end_scenario

    begin_scenario "focus Vissza, click inside" "Backarrow.wav Backarrow.wav"
    send "name Vissza" && send "rect $((x - 40)) $((y - 20)) 80 40" && mark && raise_read 8005
    sleep 0.6
    mark
    xdotool mousemove "$x" "$y" click 1
    end_scenario

    begin_scenario "hide, then click (no cue)" ""
    mark && raise_read 8003
    sleep 0.2
    xdotool mousemove "$x" "$y" click 1
    end_scenario

    begin_scenario "Előre then Lomtár at once" "Forwardarrow.wav Pedal.wav"
    send "name Előre" && send "rect 0 0 1 1" && mark && raise_read 8005 &&
        send "name Lomtár" && mark && raise_read 8005
    end_scenario

    # The target may end before its answer to quit gets through: not waited for.
    printf 'quit\n' >&"${target[1]}" 2>/dev/null
    sleep 0.3
    kill "$vocaret_pid" 2>/dev/null
    "$WINESERVER" -k >/dev/null 2>&1
    wait "$vocaret_pid" 2>/dev/null
    vocaret_pid=""
    stop_capture

    local detections
    if ! detections=$("$audio_match" "$capture_file" "$bin/Sounds"); then
        summary+=("$label audio_match FAIL")
        failed=1
        return
    fi
    echo "--- $label: heard (ms in capture, file, score)"
    echo "$detections"
    local s
    for s in "${!scenario_names[@]}"; do
        local from=${scenario_from[$s]} to=${scenario_to[$s]:-999999999}
        local heard=() times=() line
        while IFS= read -r line; do
            [ -z "$line" ] && continue
            local t="${line%% *}" rest="${line#* }"
            local name="${rest% *}"
            local ms="${t%.*}"
            if [ "$ms" -ge "$from" ] && [ "$ms" -lt "$to" ]; then
                heard+=("$name")
                times+=("$t")
            fi
        done <<<"$detections"
        local got="${heard[*]:-}"
        local verdict=PASS
        [ "$got" = "${scenario_expect[$s]}" ] || verdict=FAIL
        # Marks: capture times of the raises (and the click) of this scenario.
        local marks=() m
        for m in "${scenario_mark[@]}"; do
            [ "${m%%:*}" = "$((s + 1))" ] && marks+=("${m#*:}")
        done
        local detail="heard: ${got:-nothing}"
        local k
        for k in "${!times[@]}"; do
            if [ -n "${marks[$k]:-}" ]; then
                detail+="; ${heard[$k]} $(awk -v a="${times[$k]}" -v b="${marks[$k]}" 'BEGIN{printf "%.0f", a-b}') ms after its trigger"
            fi
        done
        if [ "${#times[@]}" -eq 2 ] && [ "${scenario_names[$s]}" = "Előre then Lomtár at once" ]; then
            detail+="; onsets $(awk -v a="${times[0]}" -v b="${times[1]}" 'BEGIN{printf "%.1f", b-a}') ms apart (Forwardarrow lasts 205 ms: cut)"
            awk -v a="${times[0]}" -v b="${times[1]}" 'BEGIN{exit !(b-a < 205)}' || verdict=FAIL
        fi
        [ "$verdict" = PASS ] || failed=1
        summary+=("$(printf '%-8s %-34s %-6s %s' "$label" "${scenario_names[$s]}" "$verdict" "$detail")")
    done
}

for bin in "${bins[@]}"; do
    run_build "$bin"
done

echo
printf '%-8s %-34s %-6s %s\n' build scenario result detail
for line in "${summary[@]}"; do
    echo "$line"
done
if [ "$failed" -ne 0 ]; then
    echo "run_scenarios: FAILED"
    exit 1
fi
echo "run_scenarios: all scenarios passed"
