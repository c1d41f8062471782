#!/bin/bash
# Runs one Windows program under Wine with the display scaling at DPI (144 is
# 150 %), in a prefix and on an Xvfb of its own under WINE_ROOT, and ends
# both afterwards. The program's exit code is this script's. With --frames,
# the Xvfb has no window manager and Wine draws the caption and frame itself
# at the metrics KIND (wine or windows10; see vocaret_set_frames).
# Usage: run_at_dpi.sh [--frames KIND] DPI WINE_ROOT PROGRAM.exe [ARGS...]
set -uo pipefail
frames=""
if [ "${1:-}" = --frames ]; then
    frames="${2:-}"
    shift 2
fi
if [ $# -lt 3 ]; then
    echo "usage: $0 [--frames KIND] DPI WINE_ROOT PROGRAM.exe [ARGS...]" >&2
    exit 2
fi
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
dpi="$1"
root="$2"
shift 2
# CTest's win32 run: skipped with the reason where 32-bit programs cannot run.
if [ -n "${VOCARET_WIN32_PROBE:-}" ]; then
    "$repo/scripts/win32-check" "$VOCARET_WIN32_PROBE" || exit $?
fi

unset DISPLAY WINEPREFIX
export VOCARET_WINE_ROOT="$root"
if [ -n "$frames" ]; then
    export VOCARET_NO_WINDOW_MANAGER=1
fi
# shellcheck source=../../scripts/wine-env
source "$repo/scripts/wine-env" || exit 1
trap vocaret_stop_display EXIT
vocaret_ensure_display || exit 1
vocaret_ensure_prefix
if [ -n "$frames" ]; then
    vocaret_set_frames "$frames" || exit 1
fi
vocaret_set_dpi "$dpi" || exit 1
"$WINELOADER" "$@"
