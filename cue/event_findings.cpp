#include "event_findings.h"

#include <atomic>

#include "call_places.h"
#include "click_target.h"
#include "event_kinds.h"
#include "play_cue.h"
#include "waiting_events.h"

namespace {

// The arrival numbers of the newest event that set the click target and of
// the newest event whose cue played; 0 for none yet. The threads that make
// the calls read targetSetBy too (targetStillOpenTo), to skip a location
// query whose answer could change nothing; only the main thread writes it.
constinit std::atomic<std::uint64_t> targetSetBy{0};
constinit std::uint64_t cuePlayedBy = 0;

bool setsTarget(const EventFindings& found) {
    switch (found.event) {
    case eventObjectHide: return found.named || found.windowGone;
    case eventObjectFocus: return found.named && found.row != nullptr;
    default: return false;
    }
}

}  // namespace

bool targetStillOpenTo(std::uint64_t arrival) {
    return arrival > targetSetBy.load(std::memory_order_relaxed);
}

void playFoundCue(const EventFindings& found, std::uint32_t nowMs) {
    if (!found.named || found.row == nullptr || found.arrival <= cuePlayedBy) {
        return;
    }
    if (found.event == eventObjectFocus) {
        if (focusCallSuperseded(found.arrival)) {
            return;
        }
        playCue(*found.row);
        cuePlayedBy = found.arrival;
        forgetShowsBefore(found.arrival);
    } else if (found.event == eventObjectShow) {
        if (nowMs - found.raisedMs <= showLifetimeMs) {
            playCue(*found.row);
            cuePlayedBy = found.arrival;
        } else {
            noteStaleShow();
        }
    }
}

bool setTargetFromFindings(const EventFindings& found) {
    if (!setsTarget(found) || !targetStillOpenTo(found.arrival)) {
        return false;
    }
    targetSetBy.store(found.arrival, std::memory_order_relaxed);
    if (found.event == eventObjectHide) {
        // Any hide disarms; the rectangle is left as it was.
        armedCueId = 0;
        return false;
    }
    if (found.located) {
        // The rectangle first, the id last.
        targetLeft = found.left;
        targetTop = found.top;
        targetWidth = found.width;
        targetHeight = found.height;
        armedCueId = found.row->cueId;
    } else {
        // No rectangle to compare a press with: the element that had the
        // focus before has lost it, and nothing is armed.
        armedCueId = 0;
    }
    // Whatever the older focuses and hides would do, this overwrites.
    forgetTargetEventsBefore(found.arrival);
    return found.located;
}

bool applyEventFindings(const EventFindings& found, std::uint32_t nowMs) {
    playFoundCue(found, nowMs);
    return setTargetFromFindings(found);
}
