// vocaret_tour ESPEAK_NG LAME SOUNDS_FOLDER TOUR_FOLDER CUE_LIST
//
// The spoken tour of the cue sounds: one MP3 per sound family in TOUR_FOLDER,
// in which eSpeak NG's Hungarian voice says the names of the elements that
// play each sound, then the sound plays, a short pause, and it plays again.
// Beside the MP3s goes the index Tartalom.txt (the time of every cue in its
// file and the names that play it); CUE_LIST is the cue list Hangok.txt (per
// family, each sound with its names and a line about it). Both are
// UTF-8 with a byte order mark and CRLF, Hungarian first, then English.
//
// The cues are the files vocaret_soundgen wrote into SOUNDS_FOLDER, the names
// come from the cue table, and every table file must be in exactly one family
// of the tour script, or nothing is written. A missing voice or a failing
// tool stops with a message; the same inputs give the same bytes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cue_table.h"
#include "files.h"
#include "synth.h"
#include "tour_script.h"

namespace {

namespace fs = std::filesystem;
using namespace soundgen;

constexpr const char* tool = "vocaret_tour";
constexpr int speechRate = 22050;  // eSpeak NG's output
constexpr double speechLoudnessDb = -17.0;  // by the cues' own measure, a little under them

// The pauses of the tour, in milliseconds.
constexpr int leadMs = 300;
constexpr int afterIntroMs = 700;
constexpr int beforeCueMs = 400;
constexpr int betweenPlaysMs = 600;
constexpr int afterCueMs = 1000;
constexpr int tailMs = 600;

constexpr std::size_t samplesOf(int ms) {
    return static_cast<std::size_t>(ms) * sampleRate / 1000;
}

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

void trimRight(std::string& text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.pop_back();
    }
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

bool isShortcutKey(std::string_view key) {
    return key.starts_with("Ctrl+") || key.starts_with("Alt+") || key.starts_with("Shift+") ||
           (key.size() >= 2 && key[0] == 'F' && key[1] >= '1' && key[1] <= '9');
}

// An element as a screen reader says it: the visible text, and the shortcut
// key shown after a TAB, after a blank or in brackets at the end.
struct Spoken {
    std::string text;
    std::string key;
};

Spoken spokenName(std::u16string_view name) {
    Spoken spoken{utf8(name), ""};
    trimRight(spoken.text);
    const std::size_t tab = spoken.text.find('\t');
    const std::size_t bracket = spoken.text.rfind(" (");
    const std::size_t blank = spoken.text.rfind(' ');
    if (tab != std::string::npos) {
        spoken.key = spoken.text.substr(tab + 1);
        spoken.text.resize(tab);
    } else if (bracket != std::string::npos && spoken.text.back() == ')' &&
               isShortcutKey(spoken.text.substr(bracket + 2, spoken.text.size() - bracket - 3))) {
        spoken.key = spoken.text.substr(bracket + 2, spoken.text.size() - bracket - 3);
        spoken.text.resize(bracket);
    } else if (blank != std::string::npos && isShortcutKey(spoken.text.substr(blank + 1))) {
        spoken.key = spoken.text.substr(blank + 1);
        spoken.text.resize(blank);
    }
    trimRight(spoken.text);
    if (endsWith(spoken.text, "...")) {
        spoken.text.resize(spoken.text.size() - 3);
    }
    return spoken;
}

// What is said before a sound: each element once, so the variants of one
// element (with or without the shortcut, the dots or a leading word, as
// "Media Player" of "Windows Media Player") are said as the fullest of them.
std::string spokenNames(const std::vector<std::u16string_view>& names) {
    std::vector<Spoken> elements;
    for (std::u16string_view name : names) {
        const Spoken spoken = spokenName(name);
        auto same = std::find_if(elements.begin(), elements.end(), [&](const Spoken& element) {
            return element.text == spoken.text || endsWith(element.text, " " + spoken.text) ||
                   endsWith(spoken.text, " " + element.text);
        });
        if (same == elements.end()) {
            elements.push_back(spoken);
            continue;
        }
        if (spoken.text.size() > same->text.size()) {
            same->text = spoken.text;
        }
        if (same->key.empty()) {
            same->key = spoken.key;
        }
    }
    std::string said;
    for (const Spoken& element : elements) {
        std::string key = element.key;
        replaceAll(key, "Ctrl", "Kontrol");
        replaceAll(key, "Shift", "Sift");
        replaceAll(key, "+", " plusz ");
        said += element.text + (key.empty() ? "" : ", " + key) + ". ";
    }
    return said;
}

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

bool run(const std::string& command, const char* what) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "%s: %s failed: %s\n", tool, what, command.c_str());
        return false;
    }
    return true;
}

// Two times the rate: zeros between the samples, then a windowed-sinc
// low-pass at 10 kHz that leaves the speech band as it was.
std::vector<double> upsampleTwice(const std::vector<std::int16_t>& in) {
    constexpr int half = 48;
    constexpr double cutoff = 10000.0 / sampleRate;
    std::vector<double> taps;
    for (int i = -half; i <= half; ++i) {
        const double x = 2 * std::numbers::pi * cutoff * i;
        const double sinc = i == 0 ? 1.0 : std::sin(x) / x;
        const double window = 0.42 + 0.5 * std::cos(std::numbers::pi * i / half) +
                              0.08 * std::cos(2 * std::numbers::pi * i / half);
        taps.push_back(4 * cutoff * sinc * window);  // 2x for the zeros
    }
    std::vector<double> out(in.size() * 2, 0.0);
    for (std::size_t n = 0; n < out.size(); ++n) {
        double sum = 0;
        for (int k = -half; k <= half; ++k) {
            const long m = static_cast<long>(n) - k;
            if (m >= 0 && m % 2 == 0 && static_cast<std::size_t>(m / 2) < in.size()) {
                sum += taps[static_cast<std::size_t>(k + half)] * in[static_cast<std::size_t>(m / 2)] / 32768.0;
            }
        }
        out[n] = sum;
    }
    return out;
}

class Speaker {
public:
    Speaker(std::string espeak, fs::path work) : espeak_(std::move(espeak)), work_(std::move(work)) {}

    // The speech at the tour's rate, at speechLoudnessDb, or empty after a message.
    std::vector<double> say(const std::string& text) {
        const fs::path textFile = work_ / "say.txt";
        const fs::path wavFile = work_ / "say.wav";
        std::ofstream(textFile, std::ios::binary | std::ios::trunc) << text;
        if (!run(shellQuoted(espeak_) + " -v hu -s 175 -b 1 -w " + shellQuoted(wavFile.string()) +
                     " -f " + shellQuoted(textFile.string()),
                 "espeak-ng (Debian packages espeak-ng and espeak-ng-data, voice \"hu\")")) {
            return {};
        }
        int rate = 0;
        std::string error;
        const std::vector<std::int16_t> pcm = readWav(wavFile, rate, error);
        if (!error.empty() || rate != speechRate) {
            std::fprintf(stderr, "%s: espeak-ng gave no 16-bit %d Hz speech for \"%s\" %s\n", tool,
                         speechRate, text.c_str(), error.c_str());
            return {};
        }
        std::vector<double> speech = upsampleTwice(pcm);
        const double loudness = loudnessDb(speech);
        if (speech.size() < samplesOf(200) || loudness < -60) {
            std::fprintf(stderr, "%s: espeak-ng said nothing for \"%s\"\n", tool, text.c_str());
            return {};
        }
        const double gain = std::pow(10.0, (speechLoudnessDb - loudness) / 20);
        for (double& v : speech) {
            v = std::clamp(v * gain, -0.95, 0.95);
        }
        return speech;
    }

private:
    std::string espeak_;
    fs::path work_;
};

struct CueTimes {
    const TourSound* sound;
    std::vector<std::u16string_view> names;  // the table's, in table order
    std::size_t first = 0;                   // samples from the start of the file
    std::size_t again = 0;
};

struct TourFile {
    const TourFamily* family;
    std::vector<CueTimes> cues;
    std::size_t length = 0;
};

void append(std::vector<std::int16_t>& out, const std::vector<double>& samples) {
    for (double v : samples) {
        out.push_back(static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767)));
    }
}

// Times in the file as written, which a decoder reading the LAME tag (lame
// --decode) gives exactly; one that ignores the tag plays everything about
// 25 ms (the encoder and decoder delay) later.
std::string clock(std::size_t samples, bool millis) {
    const std::size_t ms = samples * 1000 / sampleRate;
    char text[32];
    if (millis) {
        std::snprintf(text, sizeof text, "%zu:%02zu.%03zu", ms / 60000, ms / 1000 % 60, ms % 1000);
    } else {
        std::snprintf(text, sizeof text, "%zu:%02zu", ms / 60000, (ms + 500) / 1000 % 60);
    }
    return text;
}

// The names that play a sound, one a line, exactly as the table has them.
void putNames(std::string& out, const std::vector<std::u16string_view>& names) {
    for (std::u16string_view name : names) {
        out += "    \"" + utf8(name) + "\"\n";
    }
}

// One language of the index (times) or of the cue list (descriptions).
void putSection(std::string& out, bool hungarian, bool index, const std::vector<TourFile>& files) {
    for (const TourFile& file : files) {
        const TourFamily& family = *file.family;
        const std::string name = hungarian ? family.nameHu : family.nameEn;
        if (index) {
            out += std::string(family.mp3) + " (" + clock(file.length, false) + "): " + name + "\n";
        } else {
            out += name + ". " + (hungarian ? family.aboutHu : family.aboutEn) + "\n";
        }
        for (const CueTimes& cue : file.cues) {
            if (index) {
                out += "  " + clock(cue.first, true) + "  " + cue.sound->file + "  (" +
                       (hungarian ? "ismét: " : "again: ") + clock(cue.again, true) + ")\n";
            } else {
                out += std::string("  ") + cue.sound->file + ": " + (hungarian ? cue.sound->hu : cue.sound->en) + "\n";
            }
            putNames(out, cue.names);
        }
        out += "\n";
    }
}

bool writeText(const fs::path& path, const std::string& title, const std::string& hu,
               const std::string& en, bool index, const std::vector<TourFile>& files) {
    std::string text = "\xEF\xBB\xBF" + title + "\n\nMAGYARUL\n\n" + hu + "\n\n";
    putSection(text, true, index, files);
    text += "\nENGLISH\n\n" + en + "\n\n";
    putSection(text, false, index, files);
    std::string crlf;
    for (char c : text) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << crlf;
    if (!out) {
        std::fprintf(stderr, "%s: cannot write %s\n", tool, path.string().c_str());
        return false;
    }
    return true;
}

const char* indexHu =
    "Ebben a mappában a Vocaret 49 hangja szól, hangcsaládonként egy fájlban. Minden hang\n"
    "előtt a gép felolvassa az elemek nevét, amelyek megszólaltatják, aztán a hang kétszer\n"
    "szól. Alább fájlonként: a hang ideje a fájlban (perc:másodperc), a hangfájl neve,\n"
    "az ismétlés ideje, alatta az elemek nevei idézőjelben, pontosan úgy, ahogy a Vocaret\n"
    "felismeri őket.";
const char* indexEn =
    "This folder plays Vocaret's 49 sounds, one file per sound family. Before each sound\n"
    "the voice reads the names of the elements that play it, then the sound plays twice.\n"
    "Below, per file: the time of the sound in the file (minutes:seconds), the sound\n"
    "file's name, the time it plays again, and under it the element names in quotes,\n"
    "exactly as Vocaret recognises them.";
const char* listHu =
    "A Vocaret 49 hangja hangcsaládonként: a hangfájl neve a Sounds mappában, egy sor a\n"
    "hangról, alatta az elemek nevei idézőjelben, pontosan úgy, ahogy a Vocaret felismeri\n"
    "őket (a tabulátor és a szóköz a név része). A Bemutato mappa meg is szólaltatja őket.";
const char* listEn =
    "Vocaret's 49 sounds by family: the sound file's name in the Sounds folder, a line\n"
    "about the sound, and under it the element names in quotes, exactly as Vocaret\n"
    "recognises them (a TAB or a blank is part of the name). The Bemutato folder plays them.";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s ESPEAK_NG LAME SOUNDS_FOLDER TOUR_FOLDER CUE_LIST\n", tool);
        return 2;
    }
    const std::string espeak = argv[1];
    const std::string lame = argv[2];
    const fs::path sounds = argv[3];
    const fs::path tour = argv[4];
    const fs::path cueList = argv[5];

    // Every table file in exactly one family, and no other.
    bool ok = true;
    const std::set<std::string> wanted = tableSoundFiles(tool, ok);
    std::map<std::string, int> placed;
    for (const TourFamily& family : tourFamilies()) {
        for (const TourSound& sound : family.sounds) {
            if (++placed[sound.file] > 1 || wanted.count(sound.file) == 0) {
                std::fprintf(stderr, "%s: the tour script's %s is %s\n", tool, sound.file,
                             wanted.count(sound.file) ? "in two families" : "no file of the cue table");
                ok = false;
            }
        }
    }
    for (const std::string& file : wanted) {
        if (placed.count(file) == 0) {
            std::fprintf(stderr, "%s: the cue table's %s is in no family of the tour script\n", tool,
                         file.c_str());
            ok = false;
        }
    }
    if (!ok) {
        return 1;
    }

    const fs::path work = tour.string() + ".work";
    std::error_code error;
    fs::create_directories(tour, error);
    fs::create_directories(work, error);
    if (error) {
        std::fprintf(stderr, "%s: cannot create %s: %s\n", tool, tour.string().c_str(), error.message().c_str());
        return 1;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(tour)) {
        if (entry.is_regular_file()) {
            fs::remove(entry.path());
        }
    }

    Speaker speaker(espeak, work);
    std::vector<TourFile> files;
    int track = 0;
    for (const TourFamily& family : tourFamilies()) {
        TourFile file{&family, {}, 0};
        std::vector<std::int16_t> pcm(samplesOf(leadMs), 0);
        const std::vector<double> intro = speaker.say(std::string(family.nameHu) + ". " + family.aboutHu);
        if (intro.empty()) {
            return 1;
        }
        append(pcm, intro);
        pcm.resize(pcm.size() + samplesOf(afterIntroMs), 0);
        for (const TourSound& sound : family.sounds) {
            CueTimes cue{&sound, {}, 0, 0};
            for (const CueRow& row : cueTable) {
                if (std::string_view(row.soundFile).substr(7) == sound.file) {
                    cue.names.push_back(row.elementName);
                }
            }
            int rate = 0;
            std::string readError;
            const std::vector<std::int16_t> cuePcm = readWav(sounds / sound.file, rate, readError);
            if (!readError.empty() || rate != sampleRate || cuePcm.empty()) {
                std::fprintf(stderr, "%s: cannot use the cue %s: %s\n", tool, sound.file,
                             readError.empty() ? "not 44.1 kHz" : readError.c_str());
                return 1;
            }
            const std::vector<double> names = speaker.say(spokenNames(cue.names));
            if (names.empty()) {
                return 1;
            }
            append(pcm, names);
            pcm.resize(pcm.size() + samplesOf(beforeCueMs), 0);
            cue.first = pcm.size();
            pcm.insert(pcm.end(), cuePcm.begin(), cuePcm.end());
            pcm.resize(pcm.size() + samplesOf(betweenPlaysMs), 0);
            cue.again = pcm.size();
            pcm.insert(pcm.end(), cuePcm.begin(), cuePcm.end());
            pcm.resize(pcm.size() + samplesOf(afterCueMs), 0);
            file.cues.push_back(std::move(cue));
        }
        pcm.resize(pcm.size() + samplesOf(tailMs) - samplesOf(afterCueMs), 0);
        file.length = pcm.size();

        // MPEG-1 Layer III, mono, 44.1 kHz, VBR quality 5: every Windows
        // since XP plays it; the LAME tag lets a decoder cut its delay off.
        // Variable rate spends the bits on the cues' attacks and next to
        // nothing on the pauses: smaller than 56 kbit/s CBR, and the cues
        // come through it closer to their own samples (the matcher scores
        // each opening at least 0.96 against 0.92 at that constant rate).
        const fs::path wav = work / "tour.wav";
        const fs::path mp3 = tour / family.mp3;
        const std::string title = std::to_string(++track) + ". " + family.nameHu;
        if (!writeWav(wav, pcm, sampleRate) ||
            !run(shellQuoted(lame) + " --quiet --nohist -m m -V 5 -q 0 --lowpass 10 --resample 44.1 --id3v2-only --id3v2-utf16" +
                     " --tt " + shellQuoted(title) + " --ta Vocaret --tl " + shellQuoted("Vocaret hangjai") +
                     " --tn " + std::to_string(track) + "/" + std::to_string(tourFamilies().size()) + " " +
                     shellQuoted(wav.string()) + " " + shellQuoted(mp3.string()),
                 "lame (Debian package lame)")) {
            return 1;
        }
        files.push_back(std::move(file));
    }
    fs::remove_all(work, error);

    if (!writeText(tour / "Tartalom.txt", "Vocaret: a hangok bemutatója / a tour of the sounds", indexHu,
                   indexEn, true, files) ||
        !writeText(cueList, "Vocaret: hangok / sounds", listHu, listEn, false, files)) {
        return 1;
    }
    return 0;
}
