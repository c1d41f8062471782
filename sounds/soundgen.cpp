// vocaret_soundgen <output-folder> [--report]
//
// Writes every cue sound the cue table names into the folder, as 16-bit PCM
// mono WAV at 44.1 kHz, and removes any other WAV file there. The file names
// come from the table; each must have a recipe and each recipe a table file,
// or nothing is written. --report prints a Markdown table of the files.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cue_table.h"
#include "recipes.h"
#include "synth.h"

namespace {

namespace fs = std::filesystem;
using namespace soundgen;

void putLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
    }
}

bool writeWav(const fs::path& path, const std::vector<std::int16_t>& pcm) {
    const auto dataBytes = static_cast<std::uint32_t>(pcm.size() * 2);
    std::string out;
    out += "RIFF";
    putLe(out, 4 + (8 + 16) + (8 + dataBytes), 4);
    out += "WAVEfmt ";
    putLe(out, 16, 4);
    putLe(out, 1, 2);                        // PCM
    putLe(out, 1, 2);                        // mono
    putLe(out, sampleRate, 4);
    putLe(out, sampleRate * 2, 4);           // bytes per second
    putLe(out, 2, 2);                        // bytes per frame
    putLe(out, 16, 2);                       // bits per sample
    out += "data";
    putLe(out, dataBytes, 4);
    for (std::int16_t s : pcm) {
        putLe(out, static_cast<std::uint16_t>(s), 2);
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}

bool isWav(const fs::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return ext == ".wav";
}

// The table's file names without the "Sounds\" folder, or empty on a malformed row.
std::set<std::string> tableFiles(bool& ok) {
    constexpr std::string_view folder = "Sounds\\";
    std::set<std::string> files;
    for (const CueRow& row : cueTable) {
        const std::string_view path(row.soundFile);
        if (path.substr(0, folder.size()) != folder || path.size() == folder.size()) {
            std::fprintf(stderr, "vocaret_soundgen: cue %d: sound file \"%s\" is not in Sounds\\\n",
                         row.cueId, row.soundFile);
            ok = false;
            continue;
        }
        files.emplace(path.substr(folder.size()));
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::string_view(argv[2]) != "--report")) {
        std::fprintf(stderr, "usage: vocaret_soundgen <output-folder> [--report]\n");
        return 2;
    }
    const fs::path folder(argv[1]);
    const bool report = argc == 3;

    bool ok = true;
    const std::set<std::string> wanted = tableFiles(ok);
    std::map<std::string, const Recipe*> byFile;
    const std::vector<Recipe> recipes = allRecipes();
    for (const Recipe& recipe : recipes) {
        if (!byFile.emplace(recipe.file, &recipe).second) {
            std::fprintf(stderr, "vocaret_soundgen: two recipes for %s\n", recipe.file.c_str());
            ok = false;
        }
        if (wanted.count(recipe.file) == 0) {
            std::fprintf(stderr, "vocaret_soundgen: recipe %s names no file of the cue table\n",
                         recipe.file.c_str());
            ok = false;
        }
    }
    for (const std::string& file : wanted) {
        if (byFile.count(file) == 0) {
            std::fprintf(stderr, "vocaret_soundgen: no recipe for the cue table's %s\n", file.c_str());
            ok = false;
        }
    }
    if (!ok) {
        return 1;
    }

    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "vocaret_soundgen: cannot create %s: %s\n", folder.string().c_str(),
                     error.message().c_str());
        return 1;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && isWav(entry.path()) && wanted.count(name) == 0) {
            fs::remove(entry.path());
        }
    }

    if (report) {
        std::printf("| file | length (ms) | loudness (dBFS) | peak (dBFS) |\n|---|---:|---:|---:|\n");
    }
    double quietest = 0;
    double loudest = -200;
    for (const Recipe& recipe : recipes) {
        std::vector<double> samples = render(recipe.notes, seedOf(recipe.file));
        finish(samples);
        const std::vector<std::int16_t> pcm = toPcm16(samples);
        if (!writeWav(folder / recipe.file, pcm)) {
            std::fprintf(stderr, "vocaret_soundgen: cannot write %s\n",
                         (folder / recipe.file).string().c_str());
            return 1;
        }
        const double loudness = loudnessDb(samples);
        quietest = std::min(quietest, loudness);
        loudest = std::max(loudest, loudness);
        if (report) {
            double peak = 0;
            for (double v : samples) {
                peak = std::max(peak, std::abs(v));
            }
            std::printf("| %s | %.0f | %.2f | %.2f |\n", recipe.file.c_str(),
                        1000.0 * static_cast<double>(pcm.size()) / sampleRate, loudness,
                        20 * std::log10(peak));
        }
    }
    if (report) {
        std::printf("\n%zu files, loudness spread %.2f dB\n", recipes.size(), loudest - quietest);
    }
    return 0;
}
