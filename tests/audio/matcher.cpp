#include "matcher.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>

namespace vocaret::audio {

namespace fs = std::filesystem;

namespace {

std::uint32_t littleEndian(const std::string& bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

float sampleAt(const std::string& bytes, std::size_t at) {
    const auto raw = static_cast<std::uint16_t>(littleEndian(bytes, at, 2));
    return static_cast<float>(static_cast<std::int16_t>(raw)) / 32768.0F;
}

std::string readAll(const fs::path& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path.string();
        return {};
    }
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Everything the search needs about the capture, computed once.
class Capture {
public:
    Capture(const std::vector<float>& samples, double minLevel) : x_(samples) {
        const std::size_t n = x_.size();
        energy_.assign(n + 1, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            energy_[i + 1] = energy_[i] + static_cast<double>(x_[i]) * x_[i];
        }
        // The floor: the tenth percentile of the 1 ms frames' levels.
        std::vector<double> frames;
        for (std::size_t at = 0; at + frame <= n; at += frame) {
            frames.push_back(rms(at, frame));
        }
        double floor = 0;
        if (!frames.empty()) {
            const auto tenth = frames.begin() + static_cast<std::ptrdiff_t>(frames.size() / 10);
            std::nth_element(frames.begin(), tenth, frames.end());
            floor = *tenth;
        }
        threshold_ = std::max(minLevel, 6 * floor);
        quietBefore_.assign(n + 1, 0);
        for (std::size_t i = 0; i < n; ++i) {
            quietBefore_[i + 1] = std::fabs(x_[i]) < threshold_ ? quietBefore_[i] + 1 : 0;
        }
        nextQuietRun_.assign(n + 1, static_cast<std::uint32_t>(n));
        for (std::size_t i = n; i-- > 0;) {
            nextQuietRun_[i] = quietRun(i, gapMin) ? static_cast<std::uint32_t>(i) : nextQuietRun_[i + 1];
        }
    }

    static constexpr std::size_t frame = captureRate / 1000;    // 1 ms
    static constexpr std::size_t gapMin = captureRate / 2000;   // 0.5 ms of silence

    std::size_t size() const { return x_.size(); }
    const float* data() const { return x_.data(); }
    double threshold() const { return threshold_; }
    bool quiet(std::size_t i) const { return std::fabs(x_[i]) < threshold_; }
    // How many quiet samples end just before sample i.
    std::uint32_t quietBefore(std::size_t i) const { return quietBefore_[i]; }
    // Whether samples [at, at + length) are all quiet.
    bool quietRun(std::size_t at, std::size_t length) const {
        return at + length <= size() && quietBefore_[at + length] >= length;
    }
    // The first p >= at where a quiet run of gapMin samples starts (size() if none).
    std::size_t nextQuietRun(std::size_t at) const { return at < size() ? nextQuietRun_[at] : size(); }
    double energy(std::size_t at, std::size_t length) const {
        return energy_[at + length] - energy_[at];
    }
    double rms(std::size_t at, std::size_t length) const {
        return length == 0 ? 0 : std::sqrt(energy(at, length) / static_cast<double>(length));
    }

private:
    const std::vector<float>& x_;
    std::vector<double> energy_;
    std::vector<std::uint32_t> quietBefore_;
    std::vector<std::uint32_t> nextQuietRun_;
    double threshold_ = 0;
};

struct PreparedReference {
    const Reference* reference = nullptr;
    std::vector<double> energy;  // prefix sums of squares
    double rms(std::size_t at, std::size_t length) const {
        return length == 0 ? 0
                           : std::sqrt((energy[at + length] - energy[at]) / static_cast<double>(length));
    }
};

double dot(const float* a, const float* b, std::size_t length) {
    double sum[4] = {0, 0, 0, 0};  // four sums the processor can add side by side
    std::size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        for (std::size_t k = 0; k < 4; ++k) {
            sum[k] += static_cast<double>(a[i + k]) * b[i + k];
        }
    }
    for (; i < length; ++i) {
        sum[0] += static_cast<double>(a[i]) * b[i];
    }
    return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}

class Matcher {
public:
    Matcher(const std::vector<float>& samples, const std::vector<Reference>& references,
            const MatchOptions& options)
        : capture_(samples, options.minLevel), options_(options) {
        for (const Reference& reference : references) {
            PreparedReference prepared;
            prepared.reference = &reference;
            prepared.energy.assign(reference.samples.size() + 1, 0.0);
            for (std::size_t i = 0; i < reference.samples.size(); ++i) {
                prepared.energy[i + 1] =
                    prepared.energy[i] + static_cast<double>(reference.samples[i]) * reference.samples[i];
            }
            references_.push_back(std::move(prepared));
        }
        opening_ = static_cast<std::size_t>(options.openingMs * captureRate / 1000);
    }

    std::vector<Detection> run();

private:
    struct Active {
        const PreparedReference* reference;
        std::size_t onset;    // capture sample where the cue's sample 0 is (or would be)
        bool paused = false;  // the capture fell silent mid-cue; it may resume
        std::size_t reached = 0;  // while paused: the cue's sample it stopped at
        std::size_t playedOn = 0; // capture sample from which it may have sounded on unrecognised
    };

    // The compared length at a lag, of the reference from its sample `from`
    // on: the opening's, shortened where the capture falls silent while the
    // reference still sounds (the cue was cut there).
    std::size_t window(const PreparedReference& reference, std::size_t lag, std::size_t from = 0) const {
        const std::size_t full = std::min({opening_, reference.reference->samples.size() - from,
                                           capture_.size() - lag});
        for (std::size_t p = capture_.nextQuietRun(lag + minWindow); p + gapMin <= lag + full;
             p = capture_.nextQuietRun(p + 1)) {
            if (reference.rms(from + p - lag, gapMin) > 2 * capture_.threshold()) {
                return p - lag;
            }
        }
        return full;
    }

    // The score of a reference from its sample `from` on at a lag, or pruned
    // (below any score) as soon as the part still to compare cannot lift it
    // to beat: the rest's dot product is at most the root of the rest's
    // energies multiplied.
    double score(const PreparedReference& reference, std::size_t lag, std::size_t length, double beat,
                 std::size_t from = 0) const {
        const double a = capture_.energy(lag, length);
        const double b = reference.energy[from + length] - reference.energy[from];
        if (a <= 0 || b <= 0) {
            return 0;
        }
        const double norm = std::sqrt(a * b);
        const float* x = capture_.data() + lag;
        const float* y = reference.reference->samples.data() + from;
        double sum = 0;
        std::size_t done = 0;
        while (done < length) {
            const std::size_t part = std::min(block, length - done);
            sum += dot(x + done, y + done, part);
            done += part;
            const double restA = std::max(0.0, a - capture_.energy(lag, done));
            const double restB = std::max(0.0, b - (reference.energy[from + done] - reference.energy[from]));
            if ((sum + std::sqrt(restA * restB)) / norm < beat - 1e-9) {
                return pruned;
            }
        }
        const double correlation = sum / norm;
        if (correlation < options_.minScore) {
            return correlation;
        }
        // Waveforms alike yet loudness shaped differently (a steady tone against
        // a cue's attack) are not the same sound: weigh in how the 2 ms levels,
        // each relative to the window's level, differ.
        double difference = 0;
        double total = 0;
        const double scaleA = std::sqrt(a / static_cast<double>(length));
        const double scaleB = std::sqrt(b / static_cast<double>(length));
        for (std::size_t at = 0; at + block <= length; at += block) {
            const double levelA = capture_.rms(lag + at, block) / scaleA;
            const double levelB = reference.rms(from + at, block) / scaleB;
            difference += std::fabs(levelA - levelB);
            total += levelB;
        }
        return total > 0 ? correlation * std::max(0.0, 1 - difference / total) : correlation;
    }

    // The best reference and lag in [from, to] that scores minScore or more
    // (the first of equals).
    std::optional<Detection> best(std::size_t from, std::size_t to, const PreparedReference** which) const {
        std::optional<Detection> found;
        to = std::min(to, capture_.size() > minWindow ? capture_.size() - minWindow : 0);
        for (const PreparedReference& reference : references_) {
            for (std::size_t lag = from; lag <= to; ++lag) {
                const std::size_t length = window(reference, lag);
                if (length < minWindow) {
                    continue;
                }
                const double beat = found ? found->score : options_.minScore;
                double value = score(reference, lag, length, beat);
                if (value < beat && length > shortOpening) {
                    // The file started again within its opening: the part before.
                    value = score(reference, lag, shortOpening, beat);
                }
                if (value >= options_.minScore && (!found || value > found->score)) {
                    found = Detection{lag, 1000.0 * static_cast<double>(lag) / captureRate,
                                      reference.reference->name, value};
                    *which = &reference;
                }
            }
        }
        return found;
    }

    // Whether the capture at onset still is the active cue playing on.
    bool continues(const Active& active, std::size_t onset) const {
        const auto& samples = active.reference->reference->samples;
        const std::size_t offset = onset - active.onset;
        if (offset >= samples.size()) {
            return false;
        }
        const std::size_t length = std::min({opening_, samples.size() - offset, capture_.size() - onset});
        const double a = capture_.energy(onset, length);
        const double b = active.reference->energy[offset + length] - active.reference->energy[offset];
        if (a <= 0 || b <= 0) {
            return false;
        }
        return dot(capture_.data() + onset, samples.data() + offset, length) / std::sqrt(a * b) > 0.8;
    }

    // Where the active cue goes on in the sound that starts at `at`, after the
    // capture fell silent at sample `reached` of the cue: an output that ran
    // dry leaves a gap, then the cue resumes where it stopped, give or take
    // the few milliseconds lost or repeated at the seam. The best offset of
    // the cue near `reached` and its score, scored as an opening is; none
    // when the sound is too short to tell. Offsets under minWindow are left
    // out: a cue resuming at its beginning is the file started again.
    struct Resumed {
        std::size_t from;  // the cue's sample heard at `at`
        double score;
    };
    // `later`: how much further on it may be, where it went on sounding.
    std::optional<Resumed> resumption(const Active& active, std::size_t reached, std::size_t at,
                                      std::size_t later = 0) const {
        const PreparedReference& reference = *active.reference;
        const std::size_t size = reference.reference->samples.size();
        const std::size_t first = std::max(minWindow, reached > seam ? reached - seam : 0);
        const std::size_t last = std::min(reached + later + seam, size > minWindow ? size - minWindow : 0);
        std::optional<Resumed> found;
        for (std::size_t from = first; from <= last && from <= at; ++from) {
            const std::size_t length = window(reference, at, from);
            if (length < minWindow) {
                continue;
            }
            const double value = score(reference, at, length, found ? found->score : 0.0, from);
            if (!found || value > found->score) {
                found = Resumed{from, value};
            }
        }
        return found;
    }

    // Whether the active cue's own opening found at `found` is the file
    // started again rather than the cue going on: it must score clearly
    // better (restartMargin) than the cue resuming there from where it had
    // got to. Cues that
    // repeat a figure of their opening score nearly alike both ways (Reread
    // 0.97 against 0.96 through a lossy codec); Save.wav started again 25 ms
    // in scored 1.00 against 0.90.
    bool restarted(const Active& active, const Detection& found) const {
        const auto resumed = resumption(active, found.onset - active.onset, found.onset);
        return !resumed || found.score > resumed->score + restartMargin;
    }

    // The active cue's file started again at a lag in [from, to], if it was.
    std::optional<Detection> restart(const Active& active, std::size_t from, std::size_t to) const {
        const PreparedReference& reference = *active.reference;
        std::optional<Detection> found;
        to = std::min(to, capture_.size() > minWindow ? capture_.size() - minWindow : 0);
        for (std::size_t lag = std::max(from, active.onset + minWindow); lag <= to; ++lag) {
            const std::size_t length = window(reference, lag);
            if (length < minWindow) {
                continue;
            }
            const double value = score(reference, lag, length, found ? found->score : options_.minScore);
            if (value >= options_.minScore && (!found || value > found->score)) {
                found = Detection{lag, 1000.0 * static_cast<double>(lag) / captureRate,
                                  reference.reference->name, value};
            }
        }
        if (found && !restarted(active, *found)) {
            return std::nullopt;
        }
        return found;
    }

    static constexpr std::size_t gapMin = Capture::gapMin;
    // A lossy codec (MP3) smears the noise of an attack a few milliseconds
    // before it (pre-echo), so a sound may open this long below the level of
    // sound before its attack.
    static constexpr std::size_t lead = captureRate / 100;       // 10 ms
    static constexpr double pruned = -2;  // below any score
    static constexpr std::size_t minWindow = captureRate / 200;  // 5 ms
    static constexpr double restartMargin = 0.05;
    // What is compared of an opening that the same file's start cuts.
    static constexpr std::size_t shortOpening = captureRate / 50;  // 20 ms
    static constexpr std::size_t block = captureRate / 500;      // 2 ms tracking blocks
    // How far from where it stopped a cue may resume after a gap: at the
    // seams of loaded machines' captures up to 8 ms were lost.
    static constexpr std::size_t seam = captureRate / 50;        // 20 ms

    Capture capture_;
    MatchOptions options_;
    std::vector<PreparedReference> references_;
    std::size_t opening_ = 0;
};

std::vector<Detection> Matcher::run() {
    std::vector<Detection> detections;
    std::optional<Active> active;
    const std::size_t n = capture_.size();
    const double threshold = capture_.threshold();
    std::size_t pos = 0;
    auto accept = [&](const Detection& detection, const PreparedReference* reference) {
        detections.push_back(detection);
        active = Active{reference, detection.onset};
        // Tracked from within the opening on, where the file may start again.
        pos = detection.onset + std::min(window(*reference, detection.onset), shortOpening);
    };
    while (pos < n) {
        if (active && !active->paused) {
            const auto& samples = active->reference->reference->samples;
            const std::size_t offset = pos - active->onset;
            if (offset >= samples.size()) {
                active.reset();
                continue;
            }
            const std::size_t length = std::min({block, samples.size() - offset, n - pos});
            const bool captureLoud = capture_.rms(pos, length) >= threshold;
            const bool referenceLoud = active->reference->rms(offset, length) >= threshold;
            if (!captureLoud) {
                if (referenceLoud) {
                    // Cut off, or a gap in the output: whatever follows starts
                    // after this silence, either a new cue or this one resumed.
                    active->paused = true;
                    active->reached = offset;
                    active->playedOn = 0;
                    continue;
                }
                pos += length;
                continue;
            }
            const double value =
                referenceLoud
                    ? dot(capture_.data() + pos, samples.data() + offset, length) /
                          std::sqrt(capture_.energy(pos, length) *
                                    (active->reference->energy[offset + length] -
                                     active->reference->energy[offset]))
                    : 0.0;
            if (const auto again = restart(*active, pos, pos + length - 1)) {
                accept(*again, active->reference);
                continue;
            }
            if (value >= 0.5) {
                pos += length;
                continue;
            }
            // The sound is no longer the active cue: a new one started near here.
            const std::size_t from = std::max(active->onset + minWindow, pos > 4 * gapMin ? pos - 4 * gapMin : 0);
            const PreparedReference* which = nullptr;
            const auto found = best(from, pos + length + 2 * gapMin, &which);
            if (found && (which != active->reference || restarted(*active, *found))) {
                accept(*found, which);
            } else if (found || continues(*active, pos)) {
                // Still the active cue, heard through noise where it is quiet
                // (a lossy codec's pre-echo fills its own short silences).
                pos += length;
            } else {
                // Some other sound: look again for a cue after a silence,
                // which may also be this one, having gone on meanwhile.
                active->paused = true;
                active->reached = offset;
                active->playedOn = pos;
                pos = from;
            }
            continue;
        }
        // No cue playing: the next sound that follows a silence and, within
        // its lead, reaches the level of sound.
        auto followsSilence = [&](std::size_t i) {
            return !capture_.quiet(i) &&
                   (capture_.quietBefore(i) >= gapMin || capture_.quietBefore(i) == i) &&
                   capture_.rms(i, std::min(lead + Capture::frame, n - i)) >= threshold;
        };
        std::size_t start = pos;
        while (start < n && !followsSilence(start)) {
            ++start;
        }
        if (start >= n) {
            break;
        }
        const PreparedReference* which = nullptr;
        const std::size_t from = start > 10 * Capture::frame ? start - 10 * Capture::frame : 0;
        const std::size_t earliest = detections.empty() ? 0 : detections.back().onset + minWindow;
        const auto found = best(std::max(from, earliest), start + lead + Capture::frame, &which);
        if (active) {
            // After a silence in mid-cue: the cue resuming wins over any
            // opening that does not score clearly better, so that neither its
            // own opening nor another cue's is taken from what is left of it.
            const std::size_t later = active->playedOn != 0 && start > active->playedOn ? start - active->playedOn : 0;
            const auto resumed = resumption(*active, active->reached, start, later);
            if (resumed && resumed->score >= options_.minScore &&
                (!found || found->score <= resumed->score + restartMargin)) {
                active->onset = start - resumed->from;
                active->paused = false;
                pos = start;
                continue;
            }
        }
        if (found) {
            accept(*found, which);
        } else {
            pos = start + 1;
        }
    }
    return detections;
}

}  // namespace

std::vector<float> resample(const std::vector<float>& input, int inputRate) {
    if (input.empty() || inputRate == captureRate) {
        return input;
    }
    const double step = static_cast<double>(inputRate) / captureRate;
    const auto count = static_cast<std::size_t>(static_cast<double>(input.size() - 1) / step) + 1;
    std::vector<float> output(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double at = static_cast<double>(i) * step;
        const auto left = static_cast<std::size_t>(at);
        const double fraction = at - static_cast<double>(left);
        const double a = input[left];
        const double b = left + 1 < input.size() ? input[left + 1] : 0.0;
        output[i] = static_cast<float>(a + (b - a) * fraction);
    }
    return output;
}

std::vector<float> readWav(const fs::path& path, std::string& error) {
    const std::string bytes = readAll(path, error);
    if (!error.empty()) {
        return {};
    }
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        error = path.string() + ": not RIFF WAVE";
        return {};
    }
    std::uint32_t rate = 0;
    bool format = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const std::uint32_t size = littleEndian(bytes, at + 4, 4);
        const std::size_t body = at + 8;
        if (body + size > bytes.size()) {
            error = path.string() + ": chunk " + id + " runs past the end";
            return {};
        }
        if (id == "fmt " && size >= 16) {
            if (littleEndian(bytes, body, 2) != 1 || littleEndian(bytes, body + 2, 2) != 1 ||
                littleEndian(bytes, body + 14, 2) != 16) {
                error = path.string() + ": not 16-bit PCM mono";
                return {};
            }
            rate = littleEndian(bytes, body + 4, 4);
            format = true;
        } else if (id == "data") {
            if (!format || rate == 0) {
                error = path.string() + ": data before fmt";
                return {};
            }
            std::vector<float> samples(size / 2);
            for (std::size_t i = 0; i < samples.size(); ++i) {
                samples[i] = sampleAt(bytes, body + 2 * i);
            }
            return resample(samples, static_cast<int>(rate));
        }
        at = body + size + (size & 1U);
    }
    error = path.string() + ": no data chunk";
    return {};
}

std::vector<Reference> loadReferences(const fs::path& folder, std::string& error) {
    std::vector<Reference> references;
    std::error_code code;
    for (const auto& entry : fs::directory_iterator(folder, code)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
        if (!entry.is_regular_file() || extension != ".wav") {
            continue;
        }
        Reference reference;
        reference.name = entry.path().filename().string();
        reference.samples = readWav(entry.path(), error);
        if (!error.empty()) {
            return {};
        }
        const auto first = std::find_if(reference.samples.begin(), reference.samples.end(),
                                        [](float s) { return s != 0.0F; });
        reference.samples.erase(reference.samples.begin(), first);
        if (reference.samples.empty()) {
            error = entry.path().string() + ": silent";
            return {};
        }
        references.push_back(std::move(reference));
    }
    if (code) {
        error = "cannot list " + folder.string() + ": " + code.message();
        return {};
    }
    std::sort(references.begin(), references.end(),
              [](const Reference& a, const Reference& b) { return a.name < b.name; });
    return references;
}

std::vector<float> readRawCapture(const fs::path& path, std::string& error) {
    const std::string bytes = readAll(path, error);
    std::vector<float> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = sampleAt(bytes, 2 * i);
    }
    return samples;
}

std::vector<Detection> detectCues(const std::vector<float>& capture,
                                  const std::vector<Reference>& references,
                                  const MatchOptions& options) {
    if (capture.empty() || references.empty()) {
        return {};
    }
    return Matcher(capture, references, options).run();
}

}  // namespace vocaret::audio
