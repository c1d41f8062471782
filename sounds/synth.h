// The small synthesiser the cue sounds are made with: a sound is a list of
// notes, each a partial set ("timbre") under an envelope, with an optional
// exponential pitch glide. finish() turns the mix into a playable cue:
// band-limited, clickless, without DC, at the common loudness.
#pragma once

#include <cstdint>
#include <vector>

namespace soundgen {

constexpr int sampleRate = 44100;

enum class Timbre {
    Glass,   // sine with a little 2nd and 3rd harmonic: navigation
    Pluck,   // harmonic string, upper partials die first: clipboard
    Wood,    // marimba bar, partials 1 : 3.93 : 9.2: files and documents
    Reed,    // odd harmonics, sustained: text formatting
    Bell,    // two-operator FM, ratio 2.41, index decaying: mail
    Brass,   // full harmonic series that brightens after the attack: applications
    Organ,   // drawbar-like 1, 2, 3, 4, 6: applications
    Square,  // band-limited square: applications
    Noise,   // white noise through a band-pass at the note's pitch (Hz)
};

struct Note {
    double startMs = 0;
    double lengthMs = 100;
    double fromMidi = 69;   // MIDI note number; for Noise the centre, same scale
    double toMidi = 0;      // glide target; 0 means no glide
    Timbre timbre = Timbre::Glass;
    double level = 1.0;     // linear, relative to the other notes of the sound
    double attackMs = 4;    // raised-cosine rise
    double decayMs = 0;     // exponential time constant after the attack; 0 holds
    double glideMs = 0;     // glide duration from the start; 0 means the whole note
    double q = 6;           // Noise only: band-pass quality
    double tremoloHz = 0;   // amplitude modulation
    double tremoloDepth = 0;
};

double midiToHz(double midi);

// Mixes the notes into a buffer that ends a few milliseconds after the last note.
std::vector<double> render(const std::vector<Note>& notes, std::uint32_t seed);

// The loudness every cue is brought to, in dB re full scale: the RMS of the
// loudest 50 ms window.
constexpr double targetLoudnessDb = -16.0;
constexpr double peakCeilingDb = -1.5;

// RMS of the loudest 50 ms window (hop 1 ms), in dB re full scale.
double loudnessDb(const std::vector<double>& samples);

// High-pass 150 Hz and low-pass 6 kHz, 4 ms raised-cosine fades at both ends,
// DC removed, loudness set to targetLoudnessDb with the peak kept under
// peakCeilingDb by a soft limiter.
void finish(std::vector<double>& samples);

// Rounds to 16-bit PCM.
std::vector<std::int16_t> toPcm16(const std::vector<double>& samples);

}  // namespace soundgen
