// The matcher on synthetic captures built from the generated cue sounds.
#include "matcher.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using vocaret::audio::captureRate;
using vocaret::audio::Detection;
using vocaret::audio::Reference;

const std::vector<Reference>& references() {
    static const std::vector<Reference> loaded = [] {
        std::string error;
        auto result = vocaret::audio::loadReferences(VOCARET_TEST_SOUNDS_DIR, error);
        if (!error.empty()) {
            ADD_FAILURE() << error;
        }
        return result;
    }();
    return loaded;
}

const Reference& reference(const std::string& name) {
    for (const Reference& r : references()) {
        if (r.name == name) {
            return r;
        }
    }
    static const Reference none;
    ADD_FAILURE() << "no reference " << name;
    return none;
}

std::size_t samplesOf(double ms) {
    return static_cast<std::size_t>(ms * captureRate / 1000);
}

// A capture being built: silence, then sounds, as the sound card would deliver them.
struct Builder {
    std::vector<float> samples;
    void silence(double ms) { samples.resize(samples.size() + samplesOf(ms), 0.0F); }
    // Appends a sound (or its first ms) and returns where it starts.
    std::size_t sound(const Reference& r, double ms = 1e9) {
        const std::size_t at = samples.size();
        const std::size_t length = std::min(r.samples.size(), samplesOf(ms));
        samples.insert(samples.end(), r.samples.begin(),
                       r.samples.begin() + static_cast<std::ptrdiff_t>(length));
        return at;
    }
    // Noise at the given level over [from, from + length): what a lossy codec
    // leaves where the source was silent.
    void noiseAt(std::size_t from, std::size_t length, double rms, unsigned seed) {
        std::mt19937 generator(seed);
        std::normal_distribution<float> normal(0.0F, static_cast<float>(rms));
        for (std::size_t i = from; i < from + length && i < samples.size(); ++i) {
            samples[i] += normal(generator);
        }
    }
    void noise(double rms, unsigned seed) {
        std::mt19937 generator(seed);
        std::normal_distribution<float> normal(0.0F, static_cast<float>(rms));
        for (float& s : samples) {
            s += normal(generator);
        }
    }
};

std::string describe(const std::vector<Detection>& detections) {
    std::string text;
    for (const Detection& d : detections) {
        text += std::to_string(d.timeMs) + " " + d.name + " " + std::to_string(d.score) + "\n";
    }
    return text.empty() ? "(nothing)\n" : text;
}

void expectOnset(const Detection& d, std::size_t at, const std::string& name) {
    EXPECT_EQ(d.name, name);
    EXPECT_LE(d.onset > at ? d.onset - at : at - d.onset, 2U) << d.name << " at " << d.onset;
}

TEST(AudioMatcher, LoadsEveryGeneratedSoundAt48kHz) {
    ASSERT_EQ(references().size(), 49U);
    std::string error;
    const auto raw = vocaret::audio::readWav(std::string(VOCARET_TEST_SOUNDS_DIR) + "/Save.wav", error);
    ASSERT_TRUE(error.empty()) << error;
    // 0.24 s at 44.1 kHz comes out as 0.24 s at 48 kHz.
    EXPECT_NEAR(static_cast<double>(raw.size()), 0.24 * captureRate, 0.002 * captureRate);
    for (const Reference& r : references()) {
        EXPECT_NE(r.samples.front(), 0.0F) << r.name;
    }
}

TEST(AudioMatcher, ResamplesByLinearInterpolation) {
    std::vector<float> ramp(441);
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<float>(i) / 441.0F;
    }
    const auto out = vocaret::audio::resample(ramp, 44100);
    ASSERT_EQ(out.size(), 479U);
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_NEAR(out[i], static_cast<double>(i) * 44100.0 / 48000.0 / 441.0, 1e-5);
    }
}

TEST(AudioMatcher, OneCueAfterSilenceAndAShortZeroGap) {
    Builder capture;
    capture.silence(300);
    capture.silence(1);  // the zeros a sound begins with on the way out
    const std::size_t at = capture.sound(reference("Save.wav"));
    capture.silence(400);
    const auto found = vocaret::audio::detectCues(capture.samples, references());
    ASSERT_EQ(found.size(), 1U) << describe(found);
    expectOnset(found[0], at, "Save.wav");
    EXPECT_GT(found[0].score, 0.99);
    EXPECT_NEAR(found[0].timeMs, 301.0, 0.1);
}

TEST(AudioMatcher, ACueCutAfter50msByTheNextIsStillRecognised) {
    Builder capture;
    capture.silence(200);
    const std::size_t first = capture.sound(reference("Print.wav"), 50);
    capture.silence(1);
    const std::size_t second = capture.sound(reference("Backarrow.wav"));
    capture.silence(300);
    const auto found = vocaret::audio::detectCues(capture.samples, references());
    ASSERT_EQ(found.size(), 2U) << describe(found);
    expectOnset(found[0], first, "Print.wav");
    expectOnset(found[1], second, "Backarrow.wav");
}

TEST(AudioMatcher, ACueCutWithoutAnyGapIsStillRecognised) {
    Builder capture;
    capture.silence(200);
    const std::size_t first = capture.sound(reference("Save.wav"), 50);
    const std::size_t second = capture.sound(reference("Forwardarrow.wav"));
    capture.silence(300);
    const auto found = vocaret::audio::detectCues(capture.samples, references());
    ASSERT_EQ(found.size(), 2U) << describe(found);
    expectOnset(found[0], first, "Save.wav");
    expectOnset(found[1], second, "Forwardarrow.wav");
}

TEST(AudioMatcher, ACueCutAfter15msIsStillRecognised) {
    Builder capture;
    capture.silence(200);
    const std::size_t first = capture.sound(reference("Pedal.wav"), 15);
    capture.silence(1);
    const std::size_t second = capture.sound(reference("Print.wav"));
    capture.silence(300);
    const auto found = vocaret::audio::detectCues(capture.samples, references());
    ASSERT_EQ(found.size(), 2U) << describe(found);
    expectOnset(found[0], first, "Pedal.wav");
    expectOnset(found[1], second, "Print.wav");
}

TEST(AudioMatcher, CuesOverAQuietNoiseFloor) {
    Builder capture;
    capture.silence(250);
    const std::size_t first = capture.sound(reference("Book.wav"));
    capture.silence(300);
    const std::size_t second = capture.sound(reference("Sendmail.wav"));
    capture.silence(300);
    capture.noise(0.001, 7);  // about -60 dBFS
    const auto found = vocaret::audio::detectCues(capture.samples, references());
    ASSERT_EQ(found.size(), 2U) << describe(found);
    expectOnset(found[0], first, "Book.wav");
    expectOnset(found[1], second, "Sendmail.wav");
}

TEST(AudioMatcher, TheSameCueTwiceIsHeardTwice) {
    Builder capture;
    capture.silence(100);
    const std::size_t first = capture.sound(reference("Backarrow.wav"));
    capture.silence(150);
    const std::size_t second = capture.sound(reference("Backarrow.wav"));
    capture.silence(100);
    const auto found = vocaret::audio::detectCues(capture.samples, references());
    ASSERT_EQ(found.size(), 2U) << describe(found);
    expectOnset(found[0], first, "Backarrow.wav");
    expectOnset(found[1], second, "Backarrow.wav");
}

// MP3 and its kin smear the noise of an attack over the few milliseconds
// before it (pre-echo): the sound then opens with noise instead of the cue,
// too quiet to count as sound for its first millisecond, or loud enough to
// start the sound several milliseconds before the cue does.
TEST(AudioMatcher, ACueAfterPreEchoIsFoundAtItsAttack) {
    for (const double rms : {0.0015, 0.005}) {
        for (const double leadMs : {2.0, 4.0, 8.0}) {
            SCOPED_TRACE("pre-echo of " + std::to_string(leadMs) + " ms at rms " + std::to_string(rms));
            Builder capture;
            capture.silence(300);
            const std::size_t at = capture.sound(reference("Cut.wav"));
            capture.silence(300);
            capture.noiseAt(at - samplesOf(leadMs), samplesOf(leadMs), rms, 5);
            const auto found = vocaret::audio::detectCues(capture.samples, references());
            ASSERT_EQ(found.size(), 1U) << describe(found);
            expectOnset(found[0], at, "Cut.wav");
        }
    }
}

// The same noise in a cue's own short silence (Copy_(loop).wav plucks twice
// with 1.5 ms between), the last half millisecond before the second pluck
// quiet again as the MP3 of the tour has it, is still that cue, not a second
// one.
TEST(AudioMatcher, NoiseInACuesOwnShortSilenceIsStillThatCue) {
    const Reference& copy = reference("Copy_(loop).wav");
    std::size_t gap = 0;  // the longest run under -54 dBFS with sound after it
    std::size_t gapLength = 0;
    for (std::size_t i = 0, run = 0; i < copy.samples.size(); ++i) {
        if (std::fabs(copy.samples[i]) < 0.002F) {
            ++run;
            continue;
        }
        if (run > gapLength) {
            gapLength = run;
            gap = i - run;
        }
        run = 0;
    }
    ASSERT_GT(gapLength, samplesOf(1));
    for (const double rms : {0.003, 0.01}) {
        SCOPED_TRACE("rms " + std::to_string(rms));
        Builder capture;
        capture.silence(300);
        const std::size_t at = capture.sound(copy);
        capture.silence(300);
        capture.noiseAt(at + gap, gapLength - samplesOf(0.6), rms, 9);
        const auto found = vocaret::audio::detectCues(capture.samples, references());
        ASSERT_EQ(found.size(), 1U) << describe(found);
        expectOnset(found[0], at, "Copy_(loop).wav");
    }
}

TEST(AudioMatcher, NothingInSilenceNoiseOrOtherSounds) {
    Builder silent;
    silent.silence(2000);
    EXPECT_TRUE(vocaret::audio::detectCues(silent.samples, references()).empty());

    Builder noisy;
    noisy.silence(2000);
    noisy.noise(0.001, 3);
    const auto inNoise = vocaret::audio::detectCues(noisy.samples, references());
    EXPECT_TRUE(inNoise.empty()) << describe(inNoise);

    // Loud sounds that are no cue: a tone burst and a burst of noise.
    Builder other;
    other.silence(200);
    for (std::size_t i = 0; i < samplesOf(200); ++i) {
        other.samples.push_back(static_cast<float>(
            0.3 * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(i) / captureRate)));
    }
    other.silence(200);
    Builder burst;
    burst.silence(200);
    burst.noise(0.2, 11);
    other.samples.insert(other.samples.end(), burst.samples.begin(), burst.samples.end());
    other.silence(200);
    const auto inOther = vocaret::audio::detectCues(other.samples, references());
    EXPECT_TRUE(inOther.empty()) << describe(inOther);
}

TEST(AudioMatcher, EverySoundIsIdentifiedFromItsOpeningAlone) {
    ASSERT_EQ(references().size(), 49U);
    for (const Reference& r : references()) {
        Builder capture;
        capture.silence(120);
        const std::size_t at = capture.sound(r, 30);
        capture.silence(200);
        const auto found = vocaret::audio::detectCues(capture.samples, references());
        ASSERT_EQ(found.size(), 1U) << r.name << ":\n" << describe(found);
        expectOnset(found[0], at, r.name);
    }
}

TEST(AudioMatcher, AQuieterCueIsTheSameCue) {
    Builder capture;
    capture.silence(200);
    const std::size_t at = capture.sound(reference("Zip_up.wav"));
    capture.silence(200);
    for (float& s : capture.samples) {
        s *= 0.1F;
    }
    const auto found = vocaret::audio::detectCues(capture.samples, references());
    ASSERT_EQ(found.size(), 1U) << describe(found);
    expectOnset(found[0], at, "Zip_up.wav");
}

}  // namespace

// Restarting a file is a second playing, whatever the sound: the first cut
// 25 ms in by its own beginning, with no silence between.
TEST(AudioMatcher, EverySoundStartedAgain25msInIsHeardTwiceAndWholeOnce) {
    for (const Reference& r : references()) {
        Builder whole;
        whole.silence(100);
        const std::size_t at = whole.sound(r);
        whole.silence(100);
        const auto once = vocaret::audio::detectCues(whole.samples, references());
        ASSERT_EQ(once.size(), 1U) << r.name << ":\n" << describe(once);
        expectOnset(once[0], at, r.name);

        Builder again;
        again.silence(100);
        const std::size_t first = again.sound(r, 25);
        const std::size_t second = again.sound(r);
        again.silence(100);
        const auto twice = vocaret::audio::detectCues(again.samples, references());
        ASSERT_EQ(twice.size(), 2U) << r.name << ":\n" << describe(twice);
        expectOnset(twice[0], first, r.name);
        expectOnset(twice[1], second, r.name);
    }
}

// Captures of vocaret.exe under Wine on a loaded machine (two CPU-bound
// processes beside it), trimmed: the output ran dry again and again, so
// each cue came in pieces with gaps of 10-200 ms between, every piece going
// on where the last had stopped. The matcher used to hear the piece after
// the first gap as a second Save.wav, and later pieces as other cues.
std::vector<std::string> heardIn(const std::string& capture) {
    std::string error;
    const auto samples = vocaret::audio::readRawCapture(std::string(VOCARET_TEST_CAPTURES_DIR) + "/" + capture, error);
    EXPECT_TRUE(error.empty() && !samples.empty()) << capture << ": " << error;
    std::vector<std::string> names;
    for (const Detection& d : vocaret::audio::detectCues(samples, references())) {
        names.push_back(d.name);
    }
    return names;
}

TEST(AudioMatcher, ACueThatComesInPiecesIsOneCue) {
    EXPECT_EQ(heardIn("save-gap.raw"), std::vector<std::string>{"Save.wav"});
    EXPECT_EQ(heardIn("backarrow-stutter.raw"), std::vector<std::string>{"Backarrow.wav"});
    EXPECT_EQ(heardIn("forwardarrow-stutter.raw"), std::vector<std::string>{"Forwardarrow.wav"});
    // A seam too short to fall silent lost track of the cue while it went on
    // sounding; after the next gap it is further on than where it was lost.
    EXPECT_EQ(heardIn("backarrow-seam.raw"), std::vector<std::string>{"Backarrow.wav"});
}

// The same path carrying a real double: the target played Save.wav started
// again 25 ms in (run_scenarios.sh --double).
TEST(AudioMatcher, ARecordedCueStartedAgainIsHeardTwice) {
    std::string error;
    const auto samples = vocaret::audio::readRawCapture(
        std::string(VOCARET_TEST_CAPTURES_DIR) + "/save-started-again.raw", error);
    ASSERT_TRUE(error.empty()) << error;
    const auto found = vocaret::audio::detectCues(samples, references());
    ASSERT_EQ(found.size(), 2U) << describe(found);
    EXPECT_EQ(found[0].name, "Save.wav");
    EXPECT_EQ(found[1].name, "Save.wav");
    EXPECT_NEAR(found[1].timeMs - found[0].timeMs, 25.0, 1.0);
}
