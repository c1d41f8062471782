#!/bin/bash
# Listens to vocaret.exe under Wine: a PulseAudio server of its own with a null
# sink, the sink's monitor recorded by parec, vocaret.exe and the scripted
# target started from a Windows build's bin folder, and each scenario decided
# from the recorded audio alone by audio_match.
# Usage: run_scenarios.sh BIN_FOLDER AUDIO_MATCH [MORE_BIN_FOLDERS...]
#        run_scenarios.sh --double BIN_FOLDER AUDIO_MATCH [MORE_BIN_FOLDERS...]
#        run_scenarios.sh --latency EVENTS BIN_FOLDER AUDIO_MATCH [MORE_BIN_FOLDERS...]
# VOCARET_AUDIO_ROOT: where the Wine prefix, display, server and captures live
# (default build/audio-wine, build/audio-latency with --latency). Exits
# non-zero when any scenario fails; the last line then says why, and the
# capture, the cues heard and the programs' logs (vocaret.exe's with Wine's
# winmm trace: its PlaySound calls) are kept in ROOT/failed-BUILD.
# --double: one scenario only, which must fail: where one Save.wav is
# expected, the target plays Save.wav started again 25 ms in (the output of
# a program that played the cue twice). What it recorded is kept in
# ROOT/double-BUILD.
# --latency: instead of the scenarios, raises EVENTS focus events (plus one
# cold first one on a freshly started vocaret.exe) with alternating cue names,
# 150-250 ms apart, and prints event -> first captured sample of the expected
# cue: cold first cue, p50, p95, p99, events, missed. Exits non-zero when more
# than VOCARET_LATENCY_MAX_MISSED (default 2) events of a build were missed or
# sounds other than the expected cues were heard, or the cold cue was missed.
# Where a build's bin folder also holds vocaret_floor.exe (the least a
# listener can do), latency mode measures vocaret.exe and the floor in
# VOCARET_LATENCY_PAIRS alternating pairs (default 3) and prints the ratios;
# there a pair whose run would fail is replaced by another (up to as many
# again), and the run fails when too few pairs were undisturbed.
# --awake: instead, the stream that keeps the output awake, from the sink's
# list of streams: none before the first cue, one after it, none once a
# minute has passed without cue or mouse input (waited out; at most 1 LSB
# captured meanwhile), and one again after a mouse move.
set -uo pipefail

awake=0
[ "${1:-}" = "--awake" ] && awake=1 && shift
latency_events=0
double=0
if [ "${1:-}" = "--double" ]; then
    double=1
    shift
fi
if [ "${1:-}" = "--latency" ]; then
    latency_events="${2:-}"
    shift 2 || true
    if ! [[ "$latency_events" =~ ^[0-9]+$ ]] || [ "$latency_events" -lt 1 ]; then
        echo "usage: $0 --latency EVENTS BIN_FOLDER AUDIO_MATCH [MORE_BIN_FOLDERS...]" >&2
        exit 2
    fi
fi
if [ $# -lt 2 ]; then
    echo "usage: $0 [--latency EVENTS] BIN_FOLDER AUDIO_MATCH [MORE_BIN_FOLDERS...]" >&2
    exit 2
fi
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
audio_match="$(realpath "$2")"
bins=("$1" "${@:3}")
default_root="$repo/build/audio-wine"
[ "$latency_events" -gt 0 ] && default_root="$repo/build/audio-latency"
root="$(realpath -m "${VOCARET_AUDIO_ROOT:-$default_root}")"
mkdir -p "$root"
# CTest's win32 run: skipped with the reason where 32-bit programs cannot run.
if [ -n "${VOCARET_WIN32_PROBE:-}" ]; then
    "$repo/scripts/win32-check" "$VOCARET_WIN32_PROBE" || exit $?
fi

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
    wait_for_plays
    scenario_to+=("$(now_ms)")
}

# Whether every sound the program whose winmm trace is in $1 started has
# ended: each PlaySound's output opened, and every output closed again.
plays_done() {
    local started opened closed
    started=$(grep -c 'proc_PlaySound SoundName=' "$1" 2>/dev/null)
    opened=$(grep -c 'trace:winmm:waveOutOpen' "$1" 2>/dev/null)
    closed=$(grep -c 'trace:winmm:waveOutClose' "$1" 2>/dev/null)
    [ "${opened:-0}" -ge "${started:-0}" ] && [ "${closed:-0}" -ge "${opened:-0}" ]
}

# Waits, up to 10 s, until vocaret.exe and the target have played out every
# sound they started, then a little longer for the sink's monitor to record
# its end: on a loaded machine a cue may start a second after its event and
# take twice its length to come out, and must not spill into the next
# scenario nor be cut off by the end of the run.
wait_for_plays() {
    local i
    for i in $(seq 1 200); do
        if plays_done "$root/vocaret-$label.log" && plays_done "$root/target-$label.log"; then
            [ "$i" -gt 1 ] && sleep 0.3
            return 0
        fi
        sleep 0.05
    done
    echo "run_scenarios: $label: a sound was still playing 10 s after its scenario" >&2
}

# Starts vocaret.exe from a bin folder, waits for its window, then starts the
# scripted target and waits for its "ok ready". On failure returns 1 with
# start_step and start_error saying what did not come up.
start_step=""
start_error=""
start_programs() {
    local bin="$1" label="$2" program="${3:-vocaret.exe}" title="${4:-Vocaret}"
    # The scenarios read both programs' PlaySound calls from Wine's winmm
    # trace; the latency measurements run untraced.
    local debug="$WINEDEBUG"
    [ "$latency_events" -eq 0 ] && debug=-all,trace+winmm,+timestamp
    (cd "$bin" && WINEDEBUG="$debug" exec "$WINELOADER" "$program" \
        >"$root/vocaret-$label.log" 2>&1 </dev/null) &
    vocaret_pid=$!
    local window="" i
    for i in $(seq 1 150); do
        window=$(xdotool search --name "^$title\$" 2>/dev/null | head -1)
        [ -n "$window" ] && break
        sleep 0.1
    done
    if [ -z "$window" ]; then
        start_step="(start)"
        start_error="no $title window"
        return 1
    fi

    : >"$root/target-$label.log"
    coproc target {
        WINEDEBUG="$debug" exec "$WINELOADER" "$bin/vocaret_target.exe" \
            2>>"$root/target-$label.log"
    }
    if ! IFS= read -r -t 30 reply <&"${target[0]}" || [ "${reply%$'\r'}" != "ok ready" ]; then
        start_step="(target)"
        start_error="target not ready: $reply"
        return 1
    fi
}

stop_programs() {
    # The target may end before its answer to quit gets through: not waited for.
    printf 'quit\n' >&"${target[1]}" 2>/dev/null
    sleep 0.3
    kill "$vocaret_pid" 2>/dev/null
    "$WINESERVER" -k >/dev/null 2>&1
    wait "$vocaret_pid" 2>/dev/null
    vocaret_pid=""
}

summary=()
failed=0
reasons=()

# Keeps what a failed build's run recorded, for the next look.
keep_failure() {
    local label="$1" kept="$root/failed-$1"
    [ "$double" -eq 1 ] && kept="$root/double-$1"
    rm -rf "$kept"
    mkdir -p "$kept"
    cp "$root/capture-$label.raw" "$root/heard-$label.txt" "$root/vocaret-$label.log" \
        "$root/target-$label.log" "$kept/" 2>/dev/null
    printf '%s\n' "${summary[@]}" >"$kept/summary.txt"
    echo "$kept"
}

# How many cues vocaret.exe asked PlaySound for, from its winmm trace.
plays_of() {
    local count
    count=$(grep -c 'proc_PlaySound SoundName=' "$root/vocaret-$1.log" 2>/dev/null)
    echo "${count:-0}"
}

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

    if ! start_programs "$bin" "$label"; then
        summary+=("$(printf '%-8s %-34s %-6s %s' "$label" "$start_step" FAIL "$start_error")")
        failed=1
        stop_capture
        reasons+=("$label: $start_error; kept in $(keep_failure "$label")")
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

    if [ "$double" -eq 1 ]; then
        begin_scenario "Save.wav again 25 ms in (must fail)" "Save.wav"
        mark && send "play-restarted Save.wav 25"
        end_scenario 1.0
        judge_build "$bin" "$label" "$capture_file"
        return
    fi

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

    judge_build "$bin" "$label" "$capture_file"
}

# Stops the programs and the capture, and decides the scenarios from it.
judge_build() {
    local bin="$1" label="$2" capture_file="$3"
    stop_programs
    stop_capture

    local detections build_failed=0
    if ! detections=$("$audio_match" "$capture_file" "$bin/Sounds"); then
        summary+=("$label audio_match FAIL")
        failed=1
        reasons+=("$label: audio_match could not read the capture; kept in $(keep_failure "$label")")
        return
    fi
    echo "$detections" >"$root/heard-$label.txt"
    echo "--- $label: heard (ms in capture, file, score)"
    echo "$detections"
    local first_failure=""
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
            # Whether Lomtár's cue came while Előre's still sounded depends on
            # how fast the machine handled the second event; when it did, the
            # matcher must have heard Előre's cut short, as it did both.
            local apart
            apart=$(awk -v a="${times[0]}" -v b="${times[1]}" 'BEGIN{printf "%.1f", b-a}')
            if awk -v d="$apart" 'BEGIN{exit !(d < 205)}'; then
                detail+="; onsets $apart ms apart (Forwardarrow lasts 205 ms: cut)"
            else
                detail+="; onsets $apart ms apart (Forwardarrow had ended: no cut on this machine)"
            fi
        fi
        if [ "$verdict" != PASS ]; then
            failed=1
            build_failed=1
            [ -n "$first_failure" ] ||
                first_failure="${scenario_names[$s]}: heard ${got:-nothing}, expected ${scenario_expect[$s]:-nothing}"
        fi
        summary+=("$(printf '%-8s %-34s %-6s %s' "$label" "${scenario_names[$s]}" "$verdict" "$detail")")
    done
    if [ "$build_failed" -eq 1 ]; then
        local plays heard_count
        plays=$(plays_of "$label")
        heard_count=$(grep -c . <<<"$detections")
        reasons+=("$label: $first_failure (vocaret.exe played $plays cues, $heard_count heard); kept in $(keep_failure "$label")")
    fi
}

# --- Latency mode -----------------------------------------------------------
# Names whose cues follow one another, so that consecutive cues always differ.
latency_names=("Mentés" "Vissza" "Előre" "Lomtár" "Nyomtatás..." "Fel")
latency_files=(Save.wav Backarrow.wav Forwardarrow.wav Pedal.wav Print.wav Uparrow.wav)
latency_rows=()

# Seconds (fractional) until the wall-clock moment $1 (EPOCHREALTIME units).
seconds_until() {
    awk -v at="$1" -v now="$EPOCHREALTIME" 'BEGIN { d = at - now; if (d < 0) d = 0; printf "%.3f", d }'
}

# One fresh vocaret.exe: a cold first event, then EVENTS more. Each event's
# mark is the capture clock just before the raise is sent; its latency is the
# first onset of the expected cue after the mark, within 1 s, not already
# taken by an earlier event.
measure_build() {
    local bin label program="${2:-vocaret.exe}" title="${3:-Vocaret}"
    bin="$(realpath "$1")"
    label="$(basename "$(dirname "$bin")")${4:+ $4}"
    if [ ! -f "$bin/vocaret.exe" ] || [ ! -f "$bin/vocaret_target.exe" ] || [ ! -d "$bin/Sounds" ]; then
        echo "run_scenarios: $label: vocaret.exe, vocaret_target.exe or Sounds missing in $bin" >&2
        latency_rows+=("| $label | - | - | - | - | 0 | FAILED: build missing |")
        failed=1
        return
    fi
    last_cold="" last_p50="" last_p95="" last_disturbed=0
    local file_label="${label// /-}"
    local capture_file="$root/latency-$file_label.raw"
    local marks_file="$root/latency-$file_label.marks"
    local result_file="$root/latency-$file_label.txt"
    : >"$marks_file"
    start_capture "$capture_file" || { failed=1; latency_rows+=("| $label | - | - | - | - | 0 | FAILED: no capture |"); return; }
    if ! start_programs "$bin" "$file_label" "$program" "$title"; then
        echo "run_scenarios: $label: $start_step $start_error" >&2
        latency_rows+=("| $label | - | - | - | - | 0 | FAILED: $start_error |")
        failed=1
        stop_capture
        return
    fi
    send "rect 0 0 1 1"
    sleep 0.5

    local i k before after j mark next_at="" broken=""
    for i in $(seq 0 "$latency_events"); do
        k=$((i % ${#latency_names[@]}))
        send "name ${latency_names[$k]}" || { broken="name"; break; }
        before=$(names_read) || { broken="stats"; break; }
        if [ -n "$next_at" ]; then
            sleep "$(seconds_until "$next_at")"
        fi
        # The next raise 150-250 ms after this one, uneven so that the raises
        # do not keep one phase against the audio periods.
        # The cold one is left 1.5 s alone, so that no later cue cuts it.
        local gap=0.150
        [ "$i" -eq 0 ] && gap=1.5
        next_at=$(awk -v now="$EPOCHREALTIME" -v g="$gap" -v r="$RANDOM" 'BEGIN { printf "%.6f", now + g + (r % 101) / 1000 }')
        mark=$(now_ms)
        send "raise 8005" || { broken="raise"; break; }
        echo "$i $mark ${latency_files[$k]}" >>"$marks_file"
        # The name is read when vocaret handles the event: only then may it change.
        for j in $(seq 1 200); do
            after=$(names_read) || { broken="stats"; break 2; }
            [ "$after" -gt "$before" ] && break
            sleep 0.005
        done
        if [ "$after" -le "$before" ]; then
            echo "run_scenarios: $label: vocaret never read the name of event $i" >&2
        fi
    done
    sleep 1.0
    stop_programs
    stop_capture
    if [ -n "$broken" ]; then
        echo "run_scenarios: $label: the target stopped answering ($broken) at event $i" >&2
        failed=1
    fi

    local detections
    if ! detections=$("$audio_match" "$capture_file" "$bin/Sounds"); then
        latency_rows+=("| $label | - | - | - | - | 0 | FAILED: audio_match |")
        failed=1
        return
    fi
    echo "$detections" >"$root/latency-$file_label.heard"

    # Matches marks to onsets; prints the missed events and the sounds no
    # event accounts for, then "row <cold> <p50> <p95> <p99> <events> <missed> <other>".
    local report
    report=$(awk -v max_ms=1000 -v heard="$root/latency-$file_label.heard" '
        FILENAME == heard { if (NF >= 3) { n++; t[n] = $1 + 0; f[n] = $2; taken[n] = 0 } next }
        { e++; ev[e] = $1; mk[e] = $2 + 0; want[e] = $3 }
        END {
            for (i = 1; i <= e; i++) {
                mark = mk[i]
                # Up to 1 s, and never past the next raise of the same cue.
                until = mark + max_ms
                for (j = i + 1; j <= e; j++) if (want[j] == want[i]) { if (mk[j] < until) until = mk[j]; break }
                hit = 0
                for (d = 1; d <= n; d++) {
                    if (taken[d] || t[d] < mark) continue
                    if (t[d] >= until) break
                    if (f[d] == want[i]) { taken[d] = 1; hit = d; break }
                }
                if (ev[i] == 0) {
                    cold = hit ? sprintf("%.1f", t[hit] - mark) : "missed"
                    if (!hit) { print "MISSED cold event 0 (" want[i] ") raised at " mark " ms"; cold_missed = 1 }
                } else {
                    events++
                    if (hit) lat[++m] = t[hit] - mark
                    else { missed++; print "MISSED event " ev[i] " (" want[i] ") raised at " mark " ms" }
                    printf "%d %s %.1f\n", ev[i], want[i], hit ? t[hit] - mark : -1 > "/dev/stderr"
                }
            }
            for (d = 1; d <= n; d++)
                if (!taken[d] && t[d] >= mk[1]) {
                    other++
                    print "UNEXPECTED " f[d] " heard at " t[d] " ms (no event of that cue before it)"
                }
            # Sort the latencies (insertion sort: a few hundred values).
            for (a = 2; a <= m; a++) { v = lat[a]; b = a - 1; while (b >= 1 && lat[b] > v) { lat[b + 1] = lat[b]; b-- } lat[b + 1] = v }
            split("50 95 99", ps, " ")
            for (q = 1; q <= 3; q++) {
                r = int((ps[q] / 100) * m + 0.999999); if (r < 1) r = 1
                pv[q] = m ? sprintf("%.1f", lat[r]) : "-"
            }
            printf "row %s %s %s %s %d %d %d %d\n", cold, pv[1], pv[2], pv[3], events, missed + 0, other + 0, cold_missed + 0
        }' "$root/latency-$file_label.heard" "$marks_file" 2>"$result_file")
    grep -v '^row ' <<<"$report" | sed "s/^/run_scenarios: $label: /"
    local row cold p50 p95 p99 events missed other cold_missed
    row=$(grep '^row ' <<<"$report")
    read -r _ cold p50 p95 p99 events missed other cold_missed <<<"$row"
    local max_missed="${VOCARET_LATENCY_MAX_MISSED:-2}" verdict=""
    if [ "$cold_missed" -ne 0 ] || [ $((missed + other)) -gt "$max_missed" ] || [ "$events" -lt "$latency_events" ]; then
        # Inside a pair the run is replaced (measure_pairs); alone it fails.
        if [ "$in_pair" -eq 1 ]; then
            verdict=" disturbed"
            last_disturbed=1
        else
            verdict=" FAILED"
            failed=1
        fi
        echo "run_scenarios: $label: LATENCY MEASUREMENT$(tr a-z A-Z <<<"$verdict"): $missed of $events events missed, $other other sounds, cold cue ${cold}" >&2
    fi
    local units=" ms"
    [ "$cold" = missed ] && units=""
    latency_rows+=("| $label | ${cold}${units} | $p50 ms | $p95 ms | $p99 ms | $events | ${missed}${verdict} | $other |")
    last_cold="$cold" last_p50="$p50" last_p95="$p95"
}

# The median of its arguments (numbers).
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# vocaret.exe and the floor (vocaret_floor.exe, when the build has it) in
# VOCARET_LATENCY_PAIRS alternating pairs (default 3; every other pair starts
# with the floor), each a fresh start over the same events; then per pair the
# ratios vocaret / floor of p50 and p95, their medians, and vocaret's cold
# first cue against twice its warm p50.
# A pair with a disturbed run (missed cues or sounds no event played: the
# audio output stalled) says nothing about either program and is replaced by
# another, up to as many extra pairs as were asked for.
in_pair=0
f50="" f95="" f_disturbed=0

# The floor's run of pair $2 from bin folder $1, kept in f50, f95, f_disturbed.
measure_floor() {
    measure_build "$1" vocaret_floor.exe "Vocaret floor" "floor #$2"
    f50="$last_p50" f95="$last_p95" f_disturbed="$last_disturbed"
}

measure_pairs() {
    local bin="$1" label pairs="${VOCARET_LATENCY_PAIRS:-3}" k=0 clean=0
    label="$(basename "$(dirname "$(realpath "$bin")")")"
    if [ ! -f "$bin/vocaret_floor.exe" ]; then
        measure_build "$bin"
        return
    fi
    local r50=() r95=() colds=()
    in_pair=1
    while [ "$clean" -lt "$pairs" ] && [ "$k" -lt $((2 * pairs)) ]; do
        k=$((k + 1))
        # Every other pair starts with the floor, so that whatever the
        # second run of a pair gains or loses (caches, the sound server's
        # state) falls on both programs alike.
        [ $((k % 2)) -eq 0 ] && measure_floor "$bin" "$k"
        measure_build "$bin" vocaret.exe Vocaret "vocaret #$k"
        local v_cold="$last_cold" v50="$last_p50" v95="$last_p95" v_disturbed="$last_disturbed"
        [ $((k % 2)) -eq 1 ] && measure_floor "$bin" "$k"
        if [ "$v_disturbed" -eq 1 ] || [ "$f_disturbed" -eq 1 ]; then
            ratio_rows+=("| $label | $k | - | - | - (disturbed, replaced) |")
            continue
        fi
        if [ -z "$v50" ] || [ -z "$f50" ] || [ "$v_cold" = missed ]; then
            ratio_rows+=("| $label | $k | - | - | - |")
            continue
        fi
        clean=$((clean + 1))
        r50+=("$(awk -v a="$v50" -v b="$f50" 'BEGIN { printf "%.3f", a / b }')")
        r95+=("$(awk -v a="$v95" -v b="$f95" 'BEGIN { printf "%.3f", a / b }')")
        colds+=("$(awk -v c="$v_cold" -v w="$v50" 'BEGIN { printf "%.2f", c / w }')")
        ratio_rows+=("| $label | $k | ${r50[-1]} | ${r95[-1]} | ${colds[-1]} |")
    done
    in_pair=0
    [ "${#r50[@]}" -gt 0 ] &&
        ratio_rows+=("| $label | median of $clean | $(median "${r50[@]}") | $(median "${r95[@]}") | $(median "${colds[@]}") |")
    if [ "$clean" -lt "$pairs" ]; then
        echo "run_scenarios: $label: only $clean of $pairs pairs undisturbed in $k" >&2
        failed=1
    fi
}

# --- Awake mode -------------------------------------------------------------
# Waits up to $2 s until the sink has $1 streams.
wait_streams() {
    local deadline=$((SECONDS + $2))
    until [ "$(pactl list short sink-inputs | wc -l)" -eq "$1" ]; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.2
    done
}

check_awake() {
    local bin cue_at asleep peak
    bin="$(realpath "$1")"
    start_capture "$root/capture-awake.raw" || return 1
    start_programs "$bin" awake || { echo "run_scenarios: $start_step $start_error"; return 1; }
    wait_streams 0 10 || { echo "run_scenarios: a stream before any cue"; return 1; }
    cue_at=$EPOCHREALTIME
    send "name Mentés" && raise_read 8005 || return 1
    # The cue's own stream ends with it; the one kept awake, opened half a
    # second after it, stays.
    sleep 2
    wait_streams 1 10 || { echo "run_scenarios: no stream after the cue"; return 1; }
    local from=$(($(now_ms) + 1000))
    wait_streams 0 120 || { echo "run_scenarios: the stream still plays 2 minutes after the cue"; return 1; }
    asleep=$(awk -v a="$cue_at" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
    peak=$(tail -c +$((from * 96 + 1)) "$root/capture-awake.raw" | od -An -v -td2 -w2 |
        awk '{ v = $1 < 0 ? -$1 : $1; if (v > p) p = v } END { print p + 0 }')
    echo "run_scenarios: stream gone ${asleep} s after the cue; peak meanwhile ${peak} LSB"
    awk -v s="$asleep" 'BEGIN { exit !(s >= 60) }' || { echo "run_scenarios: gone too early"; return 1; }
    [ "$peak" -le 1 ] || { echo "run_scenarios: the stream is audible"; return 1; }
    # Over a window of Wine's: only there does the input reach its hooks.
    xdotool search --name '^Vocaret test target$' mousemove --window %1 60 60 \
        mousemove --window %1 80 80
    wait_streams 1 10 || { echo "run_scenarios: no stream after a mouse move"; return 1; }
    stop_programs
    stop_capture
}

if [ "$awake" -eq 1 ]; then
    if check_awake "${bins[0]}"; then
        echo "run_scenarios: output kept awake as it should"
        exit 0
    fi
    echo "run_scenarios: FAILED"
    exit 1
fi

if [ "$latency_events" -gt 0 ]; then
    ratio_rows=()
    for bin in "${bins[@]}"; do
        measure_pairs "$bin"
    done
    echo
    echo "Event -> first captured sample of the expected cue ($latency_events events a build, 150-250 ms apart; per-event values in $root/latency-*.txt)"
    echo
    echo "| build | cold first cue | p50 | p95 | p99 | events | missed | other sounds |"
    echo "|---|---|---|---|---|---|---|---|"
    for line in "${latency_rows[@]}"; do
        echo "$line"
    done
    if [ "${#ratio_rows[@]}" -gt 0 ]; then
        echo
        echo "vocaret / floor in alternating pairs (at most 1.00 is the goal), and vocaret's cold first cue / its warm p50 (at most 2):"
        echo
        echo "| build | pair | p50 ratio | p95 ratio | cold / p50 |"
        echo "|---|---|---|---|---|"
        for line in "${ratio_rows[@]}"; do
            echo "$line"
        done
    fi
    if [ "$failed" -ne 0 ]; then
        echo "run_scenarios: latency FAILED"
        exit 1
    fi
    echo "run_scenarios: latency measured"
    exit 0
fi

for bin in "${bins[@]}"; do
    run_build "$bin"
done

echo
printf '%-8s %-34s %-6s %s\n' build scenario result detail
for line in "${summary[@]}"; do
    echo "$line"
done
if [ "$failed" -ne 0 ]; then
    echo "run_scenarios: FAILED: $(IFS=';'; echo "${reasons[*]:-see above}")"
    exit 1
fi
echo "run_scenarios: all scenarios passed"
