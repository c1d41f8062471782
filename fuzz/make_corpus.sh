#!/bin/sh
# Writes the seed corpus of cue_fuzz into fuzz/corpus (see cue_fuzz.cpp for
# the input format: one selector byte per operation, then its arguments).
set -eu
cd "$(dirname "$0")/corpus"

# Focus on the first table name with the rectangle (10, 20, 100, 30), a press
# just inside its left/top edges, one at its far edges, then a hide and a
# press that must play nothing.
printf '\000\003\003\000\000\000\000\000\001\006\012\000\006\024\000\006\144\000\006\036\000'  >focus-click-hide
printf '\004\001\000\001\000\001'         >>focus-click-hide
printf '\004\001\000\002\000\002'         >>focus-click-hide
printf '\000\002\000\000\000\000\000\000' >>focus-click-hide
printf '\004\001\000\001\000\001'         >>focus-click-hide

# Show: a table name with one code unit replaced, an arbitrary name with a NUL
# and an unpaired surrogate, the empty name and an absent one.
printf '\000\000\003\010\001\002\101\000\000\000\000\000\000' >show-names
printf '\000\000\002\003\000\000\000\330\101\000\000\000\000\000\000' >>show-names
printf '\000\000\001\000\000\000\000\000' >>show-names
printf '\000\000\000\000\000\000\000\000' >>show-names

# Direct calls: names compared, ids around the table's range and at the
# limits, hit tests at the 32-bit limits and with NaN.
printf '\006\003\005\000\000\000\000\003\005\003\000\000\000' >direct-calls
printf '\006\002\002\141\000\142\000\002\002\141\000\142\000' >>direct-calls
printf '\007\001\003\007\001\004\007\001\110\007\001\111\007\002\000\007\002\001' >>direct-calls
printf '\010\001\000\002\001\002\377\002\377\001\000' >>direct-calls
printf '\010\002\002\002\002\003\000\000\000' >>direct-calls

# A focus whose query writes nothing, one with a rectangle at the 32-bit
# limits, presses near its edges, with the output removed and restored.
printf '\000\004\003\104\000\000\000\000\000\000\000\000\000' >limits
printf '\000\005\003\030\000\000\000\000\001\001\002\004\003' >>limits
printf '\004\001\000\001\000\001\004\001\001\002\001\002\004\003\000\004\000\004' >>limits
printf '\011\004\001\000\001\000\001\011\004\001\000\002\000\002' >>limits

# Shows, hides and focuses of six elements waiting for their turn: a focus,
# a hide, a show raised 800 ms ago, one taken, two more focuses, time
# passing, a show; then the rest are drained.
printf '\012\001\001\001\030\000\001\074\000\000\000\000\001\000\010' >waiting-events
printf '\000\002\000\000\000\001\004\000\001\000\001\310\002\000' >>waiting-events
printf '\000\002\002\000\000\002\001\000\003\200\000\000\003\000' >>waiting-events
