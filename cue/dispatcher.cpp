#include "dispatcher.h"

#include "click_target.h"
#include "play_cue.h"

void handleAccessibilityEvent(std::uint32_t event, const ElementName& name, LocationQuery locate,
                              void* context) {
    switch (event) {
    case eventObjectShow:
        if (const CueRow* row = findCue(name)) {
            playCue(*row);
        }
        break;
    case eventObjectHide:
        // Any hide disarms, recognised or not; the rectangle is left as it was.
        armedCueId = 0;
        break;
    case eventObjectFocus:
        if (const CueRow* row = findCue(name)) {
            playCue(*row);
            // The rectangle first, the id last: whatever the query left counts,
            // unless newer events overtook this one while it waited.
            if (locate(context)) {
                armedCueId = row->cueId;
            }
        }
        break;
    default:
        break;
    }
}
