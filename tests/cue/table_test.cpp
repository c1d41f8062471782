// The table's own invariants: what every later lookup relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cue_table.h"

namespace {

TEST(CueTable, IdsAreConsecutiveFromFirstToLast) {
    ASSERT_EQ(cueTableSize, 69u);
    for (std::size_t i = 0; i < cueTableSize; ++i) {
        EXPECT_EQ(cueTable[i].cueId, firstCueId + static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(cueTable[cueTableSize - 1].cueId, lastCueId);
}

TEST(CueTable, NamesAreDistinctNonEmptyAndWithoutNul) {
    std::set<std::u16string_view> names;
    std::size_t withTab = 0;
    for (const CueRow& row : cueTable) {
        EXPECT_TRUE(names.insert(row.elementName).second) << row.cueId;
        EXPECT_GE(row.elementName.size(), 3u) << row.cueId;
        EXPECT_LE(row.elementName.size(), 58u) << row.cueId;
        EXPECT_EQ(row.elementName.find(u'\0'), std::u16string_view::npos) << row.cueId;
        if (row.elementName.find(u'\t') != std::u16string_view::npos) {
            ++withTab;
        }
    }
    EXPECT_EQ(withTab, 7u);
}

TEST(CueTable, HungarianLettersArePrecomposedAndDotsAreFullStops) {
    std::size_t doubleAcute = 0;
    for (const CueRow& row : cueTable) {
        for (char16_t unit : row.elementName) {
            EXPECT_NE(unit, u'\u00F5') << row.cueId;  // õ where ő belongs
            EXPECT_NE(unit, u'\u00FB') << row.cueId;  // û where ű belongs
            EXPECT_NE(unit, u'\u2026') << row.cueId;  // ellipsis character
            EXPECT_FALSE(unit >= 0x0300 && unit <= 0x036F) << row.cueId;  // combining marks
            if (unit == u'\u0151' || unit == u'\u0171') {
                ++doubleAcute;
            }
        }
    }
    EXPECT_GT(doubleAcute, 0u);
}

TEST(CueTable, TrailingBlanksBelongToTwoNames) {
    std::vector<std::int32_t> endsWithBlank;
    for (const CueRow& row : cueTable) {
        if (row.elementName.back() == u' ') {
            endsWithBlank.push_back(row.cueId);
        }
        EXPECT_NE(row.elementName.front(), u' ') << row.cueId;
    }
    EXPECT_EQ(endsWithBlank, (std::vector<std::int32_t>{1016, 1071}));
}

TEST(CueTable, SoundFilesAreRelativeAsciiPathsInTheSoundsFolder) {
    for (const CueRow& row : cueTable) {
        const std::string file(row.soundFile);
        EXPECT_EQ(file.rfind("Sounds\\", 0), 0u) << file;
        EXPECT_EQ(std::count(file.begin(), file.end(), '\\'), 1) << file;
        EXPECT_EQ(file.find('/'), std::string::npos) << file;
        const std::string extension = file.substr(file.size() - 4);
        EXPECT_TRUE(extension == ".wav" || extension == ".WAV") << file;
        for (char c : file) {
            EXPECT_GE(static_cast<unsigned char>(c), 0x20) << file;
            EXPECT_LT(static_cast<unsigned char>(c), 0x80) << file;
        }
    }
}

TEST(CueTable, FortyNineFilesWithTheSharedGroups) {
    std::map<std::string, std::vector<std::int32_t>> rowsByFile;
    for (const CueRow& row : cueTable) {
        rowsByFile[row.soundFile].push_back(row.cueId);
    }
    EXPECT_EQ(rowsByFile.size(), 49u);

    const std::map<std::string, std::vector<std::int32_t>> shared = {
        {"Sounds\\Search_(loop).wav", {1011, 1012}},
        {"Sounds\\Book.wav", {1015, 1055}},
        {"Sounds\\Print.wav", {1016, 1017}},
        {"Sounds\\Cut.wav", {1018, 1022}},
        {"Sounds\\Copy_(loop).wav", {1019, 1023}},
        {"Sounds\\Paste.wav", {1020, 1024}},
        {"Sounds\\Mark.wav", {1021, 1025}},
        {"Sounds\\Save.wav", {1027, 1028}},
        {"Sounds\\S_Word.WAV", {1029, 1030}},
        {"Sounds\\Zip_up.wav", {1032, 1033}},
        {"Sounds\\S_New.WAV", {1037, 1040}},
        {"Sounds\\S_Formatting.WAV", {1041, 1042, 1043, 1044, 1049, 1050}},
        {"Sounds\\Projector.wav", {1065, 1066}},
        {"Sounds\\Press.wav", {1067, 1068, 1069, 1070}},
    };
    for (const auto& [file, ids] : rowsByFile) {
        const auto group = shared.find(file);
        if (group == shared.end()) {
            EXPECT_EQ(ids.size(), 1u) << file;
        } else {
            EXPECT_EQ(ids, group->second) << file;
        }
    }
    for (const auto& [file, ids] : shared) {
        EXPECT_TRUE(rowsByFile.count(file)) << file;
    }
}

}  // namespace
