#include "synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace soundgen {

namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;
constexpr double sr = static_cast<double>(sampleRate);

struct Partial {
    double ratio;
    double amplitude;
    double extraDecayPerMs;  // upper partials of struck and plucked sounds die first
};

std::vector<Partial> partialsOf(Timbre timbre) {
    switch (timbre) {
    case Timbre::Glass:
        return {{1, 1, 0}, {2, 0.25, 0}, {3, 0.08, 0}};
    case Timbre::Pluck: {
        std::vector<Partial> p;
        for (int k = 1; k <= 10; ++k) {
            p.push_back({double(k), 1.0 / k, (k - 1) / 25.0});
        }
        return p;
    }
    case Timbre::Wood:
        return {{1, 1, 0}, {3.93, 0.4, 1 / 30.0}, {9.2, 0.15, 1 / 12.0}};
    case Timbre::Reed:
        return {{1, 1, 0}, {3, 0.45, 0}, {5, 0.25, 0}, {7, 0.14, 0}, {9, 0.08, 0}};
    case Timbre::Brass: {
        std::vector<Partial> p;
        for (int k = 1; k <= 12; ++k) {
            p.push_back({double(k), 1.0 / std::pow(k, 1.1), 0});
        }
        return p;
    }
    case Timbre::Organ:
        return {{1, 1, 0}, {2, 0.6, 0}, {3, 0.4, 0}, {4, 0.25, 0}, {6, 0.12, 0}};
    case Timbre::Square: {
        std::vector<Partial> p;
        for (int k = 1; k <= 15; k += 2) {
            p.push_back({double(k), 1.0 / k, 0});
        }
        return p;
    }
    case Timbre::Bell:
    case Timbre::Noise:
        break;
    }
    return {};
}

// Partials fade out between 4.5 and 5.2 kHz: the cues keep clear of piercing highs.
double bandWeight(double hz) {
    return std::clamp((5200.0 - hz) / 700.0, 0.0, 1.0);
}

double raisedCosine(double x) {
    return 0.5 - 0.5 * std::cos(std::numbers::pi * std::clamp(x, 0.0, 1.0));
}

// xorshift32: the noise of a sound depends only on its recipe's seed.
struct Noise {
    std::uint32_t state;
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    double step(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }

    enum class Kind { LowPass, HighPass, BandPass };

    // The audio-EQ-cookbook designs; BandPass has 0 dB peak gain.
    void design(Kind kind, double hz, double q) {
        const double w = twoPi * hz / sr;
        const double alpha = std::sin(w) / (2 * q);
        const double c = std::cos(w);
        const double a0 = 1 + alpha;
        switch (kind) {
        case Kind::LowPass:
            b0 = (1 - c) / 2;
            b1 = 1 - c;
            b2 = (1 - c) / 2;
            break;
        case Kind::HighPass:
            b0 = (1 + c) / 2;
            b1 = -(1 + c);
            b2 = (1 + c) / 2;
            break;
        case Kind::BandPass:
            b0 = alpha;
            b1 = 0;
            b2 = -alpha;
            break;
        }
        b0 /= a0;
        b1 /= a0;
        b2 /= a0;
        a1 = -2 * c / a0;
        a2 = (1 - alpha) / a0;
    }
};

std::size_t msToSamples(double ms) {
    return static_cast<std::size_t>(std::lround(std::max(ms, 0.0) * sr / 1000.0));
}

void renderNote(const Note& note, Noise& noise, std::vector<double>& out) {
    const std::size_t start = msToSamples(note.startMs);
    const std::size_t count = msToSamples(note.lengthMs);
    const double fromHz = midiToHz(note.fromMidi);
    const double toHz = note.toMidi > 0 ? midiToHz(note.toMidi) : fromHz;
    const double glideMs = note.glideMs > 0 ? note.glideMs : note.lengthMs;
    const double releaseMs = std::min(8.0, note.lengthMs / 3);
    const std::vector<Partial> partials = partialsOf(note.timbre);
    Biquad band;
    double phase = 0;
    if (out.size() < start + count) {
        out.resize(start + count, 0.0);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const double tMs = static_cast<double>(i) * 1000.0 / sr;
        const double progress = std::clamp(tMs / glideMs, 0.0, 1.0);
        const double smooth = progress * progress * (3 - 2 * progress);
        const double hz = fromHz * std::pow(toHz / fromHz, smooth);

        double envelope = raisedCosine(tMs / note.attackMs);
        if (note.decayMs > 0 && tMs > note.attackMs) {
            envelope *= std::exp(-(tMs - note.attackMs) / note.decayMs);
        }
        envelope *= raisedCosine((note.lengthMs - tMs) / releaseMs);
        if (note.tremoloDepth > 0) {
            envelope *= 1 - note.tremoloDepth * raisedCosine(2 * tMs * note.tremoloHz / 1000.0);
        }

        double value = 0;
        if (note.timbre == Timbre::Noise) {
            band.design(Biquad::Kind::BandPass, hz, note.q);
            // Scaled so that the band's RMS is that of a full-scale sine.
            const double gain = 0.707 / (0.577 * std::sqrt(1.57 * hz / (note.q * sr / 2)));
            value = gain * band.step(noise.next());
        } else if (note.timbre == Timbre::Bell) {
            const double index = 1.6 * std::exp(-tMs / 60.0) + 0.2;
            value = std::sin(phase + index * std::sin(2.41 * phase));
        } else {
            const double bright = std::min(1.0, tMs / 30.0);
            for (const Partial& p : partials) {
                double a = p.amplitude * bandWeight(p.ratio * hz) *
                           std::exp(-tMs * p.extraDecayPerMs);
                if (note.timbre == Timbre::Brass && p.ratio > 1) {
                    a *= std::pow(bright, 0.5 * (p.ratio - 1));
                }
                value += a * std::sin(p.ratio * phase);
            }
        }
        out[start + i] += note.level * envelope * value;
        phase = std::fmod(phase + twoPi * hz / sr, twoPi * 100);
    }
}

double peakOf(const std::vector<double>& x) {
    double peak = 0;
    for (double v : x) {
        peak = std::max(peak, std::abs(v));
    }
    return peak;
}

double dbToLinear(double db) { return std::pow(10.0, db / 20.0); }

// Removes the mean in the shape of the fade window, so the ends stay at zero.
void removeDc(std::vector<double>& x, const std::vector<double>& window) {
    double sum = 0;
    double windowSum = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sum += x[i];
        windowSum += window[i];
    }
    const double offset = sum / windowSum;
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] -= offset * window[i];
    }
}

}  // namespace

double midiToHz(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

std::vector<double> render(const std::vector<Note>& notes, std::uint32_t seed) {
    std::vector<double> out;
    Noise noise{seed == 0 ? 1u : seed};
    for (const Note& note : notes) {
        renderNote(note, noise, out);
    }
    out.resize(out.size() + msToSamples(5), 0.0);
    return out;
}

double loudnessDb(const std::vector<double>& x) {
    const std::size_t window = std::min(msToSamples(50), x.size());
    const std::size_t hop = msToSamples(1);
    std::vector<double> prefix(x.size() + 1, 0.0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        prefix[i + 1] = prefix[i] + x[i] * x[i];
    }
    double loudest = 0;
    for (std::size_t s = 0; s + window <= x.size(); s += hop) {
        loudest = std::max(loudest, (prefix[s + window] - prefix[s]) / static_cast<double>(window));
    }
    return 10.0 * std::log10(std::max(loudest, 1e-20));
}

void finish(std::vector<double>& x) {
    Biquad high;
    Biquad low;
    high.design(Biquad::Kind::HighPass, 150, std::numbers::sqrt2 / 2);
    low.design(Biquad::Kind::LowPass, 6000, std::numbers::sqrt2 / 2);
    for (double& v : x) {
        v = low.step(high.step(v));
    }

    const std::size_t fade = msToSamples(4);
    std::vector<double> window(x.size(), 1.0);
    for (std::size_t i = 0; i < fade && i < x.size(); ++i) {
        const double w = raisedCosine(static_cast<double>(i) / static_cast<double>(fade));
        window[i] = w;
        window[x.size() - 1 - i] = w;
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] *= window[i];
    }
    removeDc(x, window);

    const double ceiling = dbToLinear(peakCeilingDb);
    const double knee = 0.7 * ceiling;
    for (int pass = 0; pass < 16; ++pass) {
        const double gain = dbToLinear(targetLoudnessDb - loudnessDb(x));
        for (double& v : x) {
            v *= gain;
        }
        if (peakOf(x) <= ceiling) {
            break;
        }
        for (double& v : x) {
            const double a = std::abs(v);
            if (a > knee) {
                v = std::copysign(knee + (ceiling - knee) * std::tanh((a - knee) / (ceiling - knee)), v);
            }
        }
        removeDc(x, window);
    }
    const double peak = peakOf(x);
    if (peak > ceiling) {
        for (double& v : x) {
            v *= ceiling / peak;
        }
    }
}

std::vector<std::int16_t> toPcm16(const std::vector<double>& x) {
    std::vector<std::int16_t> pcm;
    pcm.reserve(x.size());
    for (double v : x) {
        const long q = std::lround(std::clamp(v, -1.0, 1.0) * 32767.0);
        pcm.push_back(static_cast<std::int16_t>(q));
    }
    return pcm;
}

}  // namespace soundgen
