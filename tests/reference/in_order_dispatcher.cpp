#include "in_order_dispatcher.h"

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
            // The rectangle first, the id last. Without a rectangle nothing is
            // armed: the previous element's would replay this cue where that
            // element was. Newer events that overtook this one stand.
            switch (locate(context)) {
            case Location::found:
                armedCueId = row->cueId;
                break;
            case Location::failed:
                armedCueId = 0;
                break;
            case Location::overtaken:
                break;
            }
        }
        break;
    default:
        break;
    }
}
