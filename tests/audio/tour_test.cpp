// The spoken tour as a player decodes it (Debian's lame), listened to with the
// audio matcher against the built cues, and the index and cue list beside it
// read against the cue table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cue_table.h"
#include "files.h"
#include "matcher.h"

namespace {

namespace fs = std::filesystem;
using namespace vocaret::audio;

std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::erase(text, '\r');
    return text;
}

// The Hungarian and the English half of a text, split at its ENGLISH line.
std::pair<std::string, std::string> halves(const std::string& text) {
    const std::size_t english = text.find("\nENGLISH\n");
    if (english == std::string::npos) {
        return {text, ""};
    }
    return {text.substr(0, english), text.substr(english)};
}

struct Play {
    double ms;
    std::string file;
};

struct TourFile {
    std::string mp3;
    std::vector<Play> plays;  // both plays of every cue, in time order
};

double minutesSeconds(const std::string& minutes, const std::string& seconds) {
    return 60000 * std::stod(minutes) + 1000 * std::stod(seconds);
}

std::vector<TourFile> readIndex(const std::string& hungarian) {
    static const std::regex header(R"(^(\S+\.mp3) \(.*$)");
    static const std::regex cue(R"(^  (\d+):(\d\d\.\d{3})  (.+)  \(ismét: (\d+):(\d\d\.\d{3})\)$)");
    std::vector<TourFile> files;
    std::istringstream lines(hungarian);
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_match(line, match, header)) {
            files.push_back({match[1], {}});
        } else if (std::regex_match(line, match, cue) && !files.empty()) {
            files.back().plays.push_back({minutesSeconds(match[1], match[2]), match[3]});
            files.back().plays.push_back({minutesSeconds(match[4], match[5]), match[3]});
        }
    }
    return files;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

TEST(Tour, EveryCueIsHeardAtItsIndexTimeOnlyThereAndAfterSpeech) {
    std::string error;
    const std::vector<Reference> references = loadReferences(VOCARET_TEST_SOUNDS_DIR, error);
    ASSERT_EQ(error, "");
    const fs::path tour = VOCARET_TEST_TOUR_DIR;
    const std::vector<TourFile> files = readIndex(halves(readText(tour / "Tartalom.txt")).first);
    ASSERT_FALSE(files.empty());
    std::size_t plays = 0;
    for (const TourFile& file : files) {
        SCOPED_TRACE(file.mp3);
        const fs::path decoded = fs::path(testing::TempDir()) / (file.mp3 + ".wav");
        ASSERT_EQ(std::system((std::string(VOCARET_TEST_LAME) + " --decode --quiet '" + (tour / file.mp3).string() +
                               "' '" + decoded.string() + "'")
                                  .c_str()),
                  0);
        const std::vector<float> samples = readWav(decoded, error);
        ASSERT_EQ(error, "");
        // The tour carries the cues' own samples: through the MP3 they still
        // score above 0.95, while speech can reach 0.9 against some opening.
        const std::vector<Detection> heard = detectCues(samples, references, {.minScore = 0.92});
        std::string heardList;
        for (const Detection& detection : heard) {
            heardList += std::to_string(detection.timeMs) + " " + detection.name + " " + std::to_string(detection.score) + "\n";
        }
        if (heard.size() != file.plays.size()) {
            ADD_FAILURE() << "heard " << heard.size() << " cues, the index has " << file.plays.size() << ":\n"
                          << heardList;
            continue;
        }
        std::size_t quietFrom = 0;  // the end of the cue before
        for (std::size_t i = 0; i < heard.size(); ++i) {
            SCOPED_TRACE(file.plays[i].file + " at " + std::to_string(file.plays[i].ms) + " ms");
            EXPECT_EQ(heard[i].name, file.plays[i].file);
            EXPECT_NEAR(heard[i].timeMs, file.plays[i].ms, 3.0);
            if (i % 2 == 0) {
                // Before a cue's first play, speech: at least 125 ms of it above -40 dBFS.
                std::size_t voiced = 0;
                for (std::size_t n = quietFrom; n < heard[i].onset; ++n) {
                    voiced += std::abs(samples[n]) > 0.01f ? 1u : 0u;
                }
                EXPECT_GT(voiced, static_cast<std::size_t>(captureRate / 8));
            }
            for (const Reference& reference : references) {
                if (reference.name == heard[i].name) {
                    quietFrom = heard[i].onset + reference.samples.size();
                }
            }
        }
        plays += heard.size();
    }
    bool ok = true;
    EXPECT_EQ(plays, 2 * soundgen::tableSoundFiles("tour_test", ok).size());
}

// Each half of the index and of the cue list names every row once, quoted as
// written, and every sound file the table uses once.
TEST(Tour, IndexAndCueListNameEveryRowAndFileOnceInEachLanguage) {
    bool ok = true;
    const std::set<std::string> soundFiles = soundgen::tableSoundFiles("tour_test", ok);
    for (const fs::path& text : {fs::path(VOCARET_TEST_TOUR_DIR) / "Tartalom.txt", fs::path(VOCARET_TEST_CUE_LIST)}) {
        const auto [hungarian, english] = halves(readText(text));
        for (const std::string* half : {&hungarian, &english}) {
            SCOPED_TRACE(text.string() + (half == &hungarian ? " (Hungarian)" : " (English)"));
            ASSERT_FALSE(half->empty());
            for (const CueRow& row : cueTable) {
                EXPECT_EQ(occurrences(*half, "\n    \"" + soundgen::utf8(row.elementName) + "\"\n"), 1u) << row.cueId;
            }
            for (const std::string& file : soundFiles) {
                EXPECT_EQ(occurrences(*half, "  " + file + ":") + occurrences(*half, "  " + file + "  "), 1u)
                    << file;
            }
        }
    }
}

}  // namespace
