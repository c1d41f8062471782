// audio_match CAPTURE.raw SOUNDS_FOLDER: prints one line per cue heard in a
// raw capture (s16le, mono, 48000 Hz): "<time_ms> <file name> <score>".
#include <cstdio>
#include <string>

#include "matcher.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: audio_match CAPTURE.raw SOUNDS_FOLDER\n");
        return 2;
    }
    std::string error;
    const auto references = vocaret::audio::loadReferences(argv[2], error);
    if (!error.empty() || references.empty()) {
        std::fprintf(stderr, "audio_match: %s\n", error.empty() ? "no WAV files" : error.c_str());
        return 2;
    }
    const auto capture = vocaret::audio::readRawCapture(argv[1], error);
    if (!error.empty()) {
        std::fprintf(stderr, "audio_match: %s\n", error.c_str());
        return 2;
    }
    for (const auto& detection : vocaret::audio::detectCues(capture, references)) {
        std::printf("%.1f %s %.3f\n", detection.timeMs, detection.name.c_str(), detection.score);
    }
    return 0;
}
