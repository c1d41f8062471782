#include "cue_test_support.h"

std::vector<std::string>& playedSounds() {
    static std::vector<std::string> sounds;
    return sounds;
}

namespace {
void recordSound(const char* soundFile) {
    playedSounds().emplace_back(soundFile);
}
}  // namespace

void CueTest::SetUp() {
    playedSounds().clear();
    setSoundOutput(recordSound);
    armedCueId = 0;
    targetLeft = targetTop = targetWidth = targetHeight = 0;
}

void CueTest::TearDown() {
    setSoundOutput(nullptr);
}

void CueTest::arm(std::int32_t cueId, std::int32_t left, std::int32_t top, std::int32_t width,
                  std::int32_t height) {
    targetLeft = left;
    targetTop = top;
    targetWidth = width;
    targetHeight = height;
    armedCueId = cueId;
}
