// The generated cue sounds, read back from the build's Sounds folder as the
// player would find them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cue_table.h"

namespace {

namespace fs = std::filesystem;

constexpr double rate = 44100;

struct Wav {
    std::string error;  // empty when the file is a valid 16-bit PCM mono 44.1 kHz WAV
    std::vector<double> samples;  // full scale = 1
};

std::uint32_t le(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    }
    return v;
}

Wav readWav(const fs::path& path) {
    Wav wav;
    std::ifstream in(path, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) {
        wav.error = "not RIFF WAVE";
        return wav;
    }
    if (le(b, 4, 4) != b.size() - 8) {
        wav.error = "RIFF size " + std::to_string(le(b, 4, 4)) + " for " + std::to_string(b.size()) + " bytes";
        return wav;
    }
    bool haveFormat = false;
    bool haveData = false;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::string id = b.substr(at, 4);
        const std::uint32_t size = le(b, at + 4, 4);
        const std::size_t body = at + 8;
        if (body + size > b.size()) {
            wav.error = "chunk " + id + " runs past the end";
            return wav;
        }
        if (id == "fmt ") {
            if (size != 16 || le(b, body, 2) != 1 || le(b, body + 2, 2) != 1 ||
                le(b, body + 4, 4) != 44100 || le(b, body + 8, 4) != 88200 ||
                le(b, body + 12, 2) != 2 || le(b, body + 14, 2) != 16) {
                wav.error = "fmt is not 16-byte PCM, mono, 44100 Hz, 16 bits";
                return wav;
            }
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat || size % 2 != 0) {
                wav.error = "data before fmt or odd data size";
                return wav;
            }
            for (std::size_t i = 0; i < size; i += 2) {
                const auto s = static_cast<std::int16_t>(static_cast<std::uint16_t>(le(b, body + i, 2)));
                wav.samples.push_back(s / 32768.0);
            }
            haveData = true;
        }
        at = body + size + (size % 2);
    }
    if (!haveData) {
        wav.error = "no data chunk";
    }
    return wav;
}

std::set<std::string> tableFiles() {
    std::set<std::string> files;
    for (const CueRow& row : cueTable) {
        files.insert(std::string(row.soundFile).substr(7));  // after "Sounds\"
    }
    return files;
}

const std::map<std::string, Wav>& sounds() {
    static const std::map<std::string, Wav> all = [] {
        std::map<std::string, Wav> m;
        for (const std::string& file : tableFiles()) {
            const fs::path path = fs::path(VOCARET_TEST_SOUNDS_DIR) / file;
            m[file] = fs::is_regular_file(path) ? readWav(path) : Wav{"missing", {}};
        }
        return m;
    }();
    return all;
}

// Power spectrum of x (zero-padded to a power of two), bins 0 .. N/2.
std::vector<double> powerSpectrum(std::vector<double> x, std::size_t& n) {
    n = 1;
    while (n < x.size()) {
        n *= 2;
    }
    std::vector<std::complex<double>> a(x.begin(), x.end());
    a.resize(n);
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (std::size_t len = 2; len <= n; len *= 2) {
        const std::complex<double> w = std::polar(1.0, -2 * std::numbers::pi / static_cast<double>(len));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> wk = 1;
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                wk *= w;
            }
        }
    }
    std::vector<double> p(n / 2 + 1);
    for (std::size_t k = 0; k < p.size(); ++k) {
        p[k] = std::norm(a[k]);
    }
    return p;
}

double bandShare(const std::vector<double>& x, double lowHz, double highHz) {
    std::size_t n = 0;
    const std::vector<double> p = powerSpectrum(x, n);
    double inBand = 0;
    double total = 0;
    for (std::size_t k = 1; k < p.size(); ++k) {
        const double hz = static_cast<double>(k) * rate / static_cast<double>(n);
        total += p[k];
        if (hz >= lowHz && hz < highHz) {
            inBand += p[k];
        }
    }
    return inBand / total;
}

// RMS of the loudest 50 ms window, hop 1 ms, in dB re full scale.
double loudnessDb(const std::vector<double>& x) {
    const std::size_t window = 2205;
    double loudest = 0;
    for (std::size_t s = 0; s + window <= x.size(); s += 44) {
        double sum = 0;
        for (std::size_t i = s; i < s + window; ++i) {
            sum += x[i] * x[i];
        }
        loudest = std::max(loudest, sum / static_cast<double>(window));
    }
    return 10 * std::log10(loudest);
}

// The first 30 ms as 1/6-octave band levels in dB (250 Hz .. 8 kHz, 30 bands),
// Hann-windowed, each band floored 50 dB under the file's strongest band.
std::vector<double> openingBands(const std::vector<double>& x) {
    const std::size_t length = 1323;  // 30 ms
    std::vector<double> head(length, 0.0);
    for (std::size_t i = 0; i < length && i < x.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / (length - 1));
        head[i] = x[i] * w;
    }
    head.resize(8192, 0.0);
    std::size_t n = 0;
    const std::vector<double> p = powerSpectrum(head, n);
    std::vector<double> bands(30, 0.0);
    for (std::size_t k = 1; k < p.size(); ++k) {
        const double hz = static_cast<double>(k) * rate / static_cast<double>(n);
        const double band = std::floor(6 * std::log2(hz / 250));
        if (band >= 0 && band < 30) {
            bands[static_cast<std::size_t>(band)] += p[k];
        }
    }
    double strongest = -1e9;
    for (double& b : bands) {
        b = 10 * std::log10(b + 1e-30);
        strongest = std::max(strongest, b);
    }
    for (double& b : bands) {
        b = std::max(b, strongest - 50);
    }
    return bands;
}

// RMS over the bands of the level difference, in dB.
double openingDistance(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    }
    return std::sqrt(sum / static_cast<double>(a.size()));
}

TEST(Sounds, TheFolderHoldsExactlyTheTablesFiles) {
    std::set<std::string> inFolder;
    for (const fs::directory_entry& e : fs::directory_iterator(VOCARET_TEST_SOUNDS_DIR)) {
        inFolder.insert(e.path().filename().string());
    }
    EXPECT_EQ(tableFiles().size(), 49u);
    EXPECT_EQ(inFolder, tableFiles());
}

TEST(Sounds, EveryFileIsPcm16Mono44100WithAConsistentHeader) {
    for (const auto& [file, wav] : sounds()) {
        EXPECT_EQ(wav.error, "") << file;
        EXPECT_FALSE(wav.samples.empty()) << file;
    }
}

TEST(Sounds, LastBetween60And400Ms) {
    for (const auto& [file, wav] : sounds()) {
        const double ms = 1000.0 * static_cast<double>(wav.samples.size()) / rate;
        EXPECT_GE(ms, 60) << file;
        EXPECT_LE(ms, 400) << file;
    }
}

TEST(Sounds, PeakAtMostMinusOneDbfs) {
    for (const auto& [file, wav] : sounds()) {
        double peak = 0;
        for (double v : wav.samples) {
            peak = std::max(peak, std::abs(v));
        }
        EXPECT_LE(20 * std::log10(peak), -1.0) << file;
    }
}

// A step at either end is a click; -60 dBFS is inaudible at cue level.
TEST(Sounds, StartAndEndAtSilenceWithoutDc) {
    for (const auto& [file, wav] : sounds()) {
        ASSERT_FALSE(wav.samples.empty()) << file;
        EXPECT_LE(std::abs(wav.samples.front()), 0.001) << file;
        EXPECT_LE(std::abs(wav.samples.back()), 0.001) << file;
        double sum = 0;
        for (double v : wav.samples) {
            sum += v;
        }
        EXPECT_LE(std::abs(sum / static_cast<double>(wav.samples.size())), 0.001) << file;
    }
}

// Cues follow one another quickly; one louder than the rest startles.
TEST(Sounds, LoudnessWithinOneDbAcrossTheSet) {
    double quietest = 0;
    double loudest = -200;
    for (const auto& [file, wav] : sounds()) {
        const double l = loudnessDb(wav.samples);
        quietest = std::min(quietest, l);
        loudest = std::max(loudest, l);
    }
    std::printf("[ LOUDNESS ] %.3f .. %.3f dBFS, spread %.3f dB\n", quietest, loudest, loudest - quietest);
    EXPECT_LE(loudest - quietest, 1.0);
}

// Speakers of desktop machines and headsets render 300 Hz .. 5 kHz well, and
// there the ear is most sensitive without the highs becoming piercing.
TEST(Sounds, MostEnergyBetween300HzAnd5kHz) {
    double lowest = 1;
    for (const auto& [file, wav] : sounds()) {
        const double share = bandShare(wav.samples, 300, 5000);
        lowest = std::min(lowest, share);
        EXPECT_GE(share, 0.9) << file;
        EXPECT_LE(bandShare(wav.samples, 0, 120), 0.005) << file;
    }
    std::printf("[ BANDS    ] lowest share of energy in 300 Hz .. 5 kHz: %.3f\n", lowest);
}

// A new cue cuts the last one off, so the first 30 ms must tell them apart.
// Threshold: a 1 dB level change is about the smallest audible one; two
// openings whose band levels differ by 4 dB RMS over 30 bands differ in pitch
// by more than a band (two semitones) or in timbre, which is heard at once.
TEST(Sounds, NoTwoFilesAlikeInTheirFirst30Ms) {
    constexpr double threshold = 4.0;
    std::map<std::string, std::vector<double>> bands;
    for (const auto& [file, wav] : sounds()) {
        bands[file] = openingBands(wav.samples);
    }
    std::vector<std::pair<double, std::string>> pairs;
    for (auto a = bands.begin(); a != bands.end(); ++a) {
        for (auto b = std::next(a); b != bands.end(); ++b) {
            const double d = openingDistance(a->second, b->second);
            pairs.emplace_back(d, a->first + " / " + b->first);
            EXPECT_GE(d, threshold) << a->first << " / " << b->first;
        }
    }
    std::sort(pairs.begin(), pairs.end());
    ASSERT_EQ(pairs.size(), 49u * 48u / 2u);
    for (std::size_t i = 0; i < 5; ++i) {
        std::printf("[ OPENINGS ] %.2f dB  %s\n", pairs[i].first, pairs[i].second.c_str());
    }
    const double nearest = pairs.front().first;
    std::printf("[ OPENINGS ] nearest %.2f dB, threshold %.1f dB\n", nearest, threshold);
    EXPECT_GE(nearest, threshold);
}

}  // namespace
