// A fixed number of focus events through the core, for counting instructions
// with callgrind: valgrind --tool=callgrind --toggle-collect=runFocusEvents
// (scripts/bench divides the count by the number of events).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "click_target.h"
#include "in_order_dispatcher.h"
#include "play_cue.h"

namespace {

void silentOutput(const char*) {}

const auto locate = [] {
    targetLeft = 1;
    targetTop = 2;
    targetWidth = 3;
    targetHeight = 4;
};

}  // namespace

// Not static and not inlined, so callgrind can find it by name.
extern "C" __attribute__((noinline)) void runFocusEvents(const ElementName& name, int count) {
    for (int i = 0; i < count; ++i) {
        handleAccessibilityEvent(eventObjectFocus, name, locate);
    }
}

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    setSoundOutput(silentOutput);
    const std::u16string matching = u"Mentés";
    const std::u16string other = u"Kedvencek hozzáadása";
    const std::u16string longName(1000, u'K');
    const char* which = argc > 2 ? argv[2] : "matching";
    const std::u16string& name = std::string(which) == "other" ? other
                                 : std::string(which) == "long" ? longName
                                                                : matching;
    runFocusEvents(ElementName(name), count);
    std::printf("%d focus events (%s name), armed %d\n", count, which, armedCueId);
    return 0;
}
