// Recognises the cue sounds in a recording of the audio output: where a cue
// starts and which of the Sounds files it is, decided from the opening of the
// sound alone, so that a cue cut off by the next one is still recognised.
// A cue is then followed to its end: where the output ran dry and the cue
// goes on after a gap near where it stopped, it is the same playing; where
// the file starts again from its beginning, it is a second one.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace vocaret::audio {

// The rate of every capture and of the references after resampling.
inline constexpr int captureRate = 48000;

struct Reference {
    std::string name;            // file name, e.g. "Save.wav"
    std::vector<float> samples;  // at captureRate, leading zeros skipped; full scale = 1
};

// Reads a 16-bit PCM mono WAV and resamples it to captureRate (linear
// interpolation). Sets error and returns nothing when the file is unusable.
std::vector<float> readWav(const std::filesystem::path& path, std::string& error);

// Every *.wav file of a folder (any case of the extension), sorted by name.
std::vector<Reference> loadReferences(const std::filesystem::path& folder, std::string& error);

// A raw capture: signed 16-bit little-endian mono samples.
std::vector<float> readRawCapture(const std::filesystem::path& path, std::string& error);

// Resampling from any rate to captureRate by linear interpolation.
std::vector<float> resample(const std::vector<float>& input, int inputRate);

struct Detection {
    std::size_t onset = 0;  // capture sample of the sound's first non-zero sample
    double timeMs = 0;      // onset in milliseconds from the start of the capture
    std::string name;       // the reference heard
    double score = 0;       // normalised cross-correlation of the opening, 0..1
};

struct MatchOptions {
    double openingMs = 30;   // how much of each reference's opening is compared
    // Below this a sound is not taken for any cue. Cues played, whole or cut,
    // score 0.96-1.00; the sounds taken for cues that no event played, on a
    // machine whose audio output stalled, scored 0.80-0.89.
    double minScore = 0.9;
    double minLevel = 0.002; // the least sample magnitude counted as sound (full scale = 1)
};

// The cue onsets heard in a capture, in time order.
std::vector<Detection> detectCues(const std::vector<float>& capture,
                                  const std::vector<Reference>& references,
                                  const MatchOptions& options = {});

}  // namespace vocaret::audio
