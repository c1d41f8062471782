// Name equality and the two lookups: only a name equal code unit for code unit
// finds a row.
#include <gtest/gtest.h>

#include <string>

#include "cue_table.h"

namespace {

std::int32_t idOf(const ElementName& name) {
    const CueRow* row = findCue(name);
    return row == nullptr ? 0 : row->cueId;
}

TEST(NameEquality, AbsentEqualsOnlyAbsent) {
    EXPECT_TRUE(namesEqual(std::nullopt, std::nullopt));
    EXPECT_FALSE(namesEqual(std::nullopt, u""));
    EXPECT_FALSE(namesEqual(u"", std::nullopt));
    EXPECT_TRUE(namesEqual(u"", u""));
}

TEST(NameEquality, PrefixIsNotEqualEitherWay) {
    EXPECT_FALSE(namesEqual(u"Vissza", u"Visszaállítás"));
    EXPECT_FALSE(namesEqual(u"Visszaállítás", u"Vissza"));
}

TEST(NameEquality, ComparesCodeUnitsAsUnsigned) {
    // A high code unit must not compare as a negative value equal to nothing else.
    const std::u16string high(1, u'\xFFFF');
    const std::u16string low(1, u'\x7FFF');
    EXPECT_FALSE(namesEqual(high, low));
    EXPECT_TRUE(namesEqual(high, std::u16string(1, u'\xFFFF')));
}

TEST(NameEquality, EmbeddedNulIsAnOrdinaryCodeUnit) {
    const std::u16string withNul(u"Lomtár\0x", 8);
    EXPECT_FALSE(namesEqual(withNul, u"Lomtár"));
    EXPECT_TRUE(namesEqual(withNul, std::u16string(u"Lomtár\0x", 8)));
}

TEST(FindCue, AcceleratorTextPairsAreDistinctRows) {
    EXPECT_EQ(idOf(u"Mentés"), 1028);
    EXPECT_EQ(idOf(u"Mentés Ctrl+S"), 1027);
    EXPECT_EQ(idOf(u"Nyomtatás...\tCtrl+P "), 1016);
    EXPECT_EQ(idOf(u"Nyomtatás..."), 1017);
    EXPECT_EQ(idOf(u"Kivágás\tCtrl+X"), 1018);
    EXPECT_EQ(idOf(u"Kivágás"), 1022);
}

TEST(FindCue, NearMissesFindNothing) {
    EXPECT_EQ(idOf(u"Mentés\tCtrl+S"), 0);             // TAB for the blank
    EXPECT_EQ(idOf(u"mentés"), 0);                     // case
    EXPECT_EQ(idOf(u"MENTÉS"), 0);
    EXPECT_EQ(idOf(u"Windows Live Messenger"), 0);     // trailing blank missing
    EXPECT_EQ(idOf(u"Nyomtatás...\tCtrl+P"), 0);
    EXPECT_EQ(idOf(u"Új ablak\tCtrl+N"), 0);           // blank before the TAB missing
    EXPECT_EQ(idOf(u"Új ablak"), 0);
    EXPECT_EQ(idOf(u"D\u00F5lt"), 0);                  // õ instead of ő
    EXPECT_EQ(idOf(u"Bet\u00FBméret"), 0);             // û instead of ű
    EXPECT_EQ(idOf(u"Keresés\u2026"), 0);              // ellipsis character
    EXPECT_EQ(idOf(u" Mentés"), 0);                    // no trimming
    EXPECT_EQ(idOf(u"Mentés "), 0);
    EXPECT_EQ(idOf(u"Ment"), 0);                       // prefix of a name
}

TEST(FindCue, ExactSpellingsWithTrailingBlankAndDoubleAcute) {
    EXPECT_EQ(idOf(u"Windows Live Messenger "), 1071);
    EXPECT_EQ(idOf(u"Új ablak \tCtrl+N"), 1009);
    EXPECT_EQ(idOf(u"D\u0151lt"), 1046);
    EXPECT_EQ(idOf(u"Bet\u0171méret"), 1048);
}

TEST(FindCue, NamesThatBeginWithAnotherName) {
    EXPECT_EQ(idOf(u"Vissza"), 1005);
    EXPECT_EQ(idOf(u"Visszaállítás"), 1038);
    EXPECT_EQ(idOf(u"Mentés másként..."), 1034);
    EXPECT_EQ(idOf(u"Betűtípus"), 1049);
    EXPECT_EQ(idOf(u"Betűtípus..."), 1050);
    EXPECT_EQ(idOf(u"Tömörítés"), 1068);
    EXPECT_EQ(idOf(u"Tömörítés..."), 1067);
    const CueRow* bin = findCue(u"Lomtár");
    const CueRow* empty = findCue(u"Lomtár ürítése");
    ASSERT_NE(bin, nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(bin->soundFile, "Sounds\\Pedal.wav");
    EXPECT_STREQ(empty->soundFile, "Sounds\\Recycle.wav");
}

TEST(FindCue, EmptyAndAbsentFindNothing) {
    EXPECT_EQ(findCue(u""), nullptr);
    EXPECT_EQ(findCue(std::nullopt), nullptr);
}

TEST(FindCue, LongNamesFindNothing) {
    const std::u16string longName(1000, u'M');
    EXPECT_EQ(findCue(longName), nullptr);
    std::u16string extended(u"Kedvencek, hírcsatornák és előzmények megtekintése (Alt+C)");
    EXPECT_EQ(idOf(extended), 1015);
    extended.push_back(u'x');
    EXPECT_EQ(findCue(extended), nullptr);
}

TEST(CueById, RangeEndsAndOutside) {
    const CueRow* first = cueById(1004);
    const CueRow* last = cueById(1072);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(first->elementName, u"Kezdőlap (Alt+D)");
    EXPECT_STREQ(first->soundFile, "Sounds\\Homebutton.wav");
    EXPECT_EQ(last->elementName, u"Dokumentumok");
    EXPECT_STREQ(last->soundFile, "Sounds\\S_MyDocs.WAV");
    for (std::int32_t outside : {1003, 1073, 0, -1, -2147483647 - 1, 2147483647}) {
        EXPECT_EQ(cueById(outside), nullptr) << outside;
    }
}

TEST(CueById, AgreesWithFindCueForEveryRow) {
    for (const CueRow& row : cueTable) {
        EXPECT_EQ(cueById(row.cueId), &row);
        EXPECT_EQ(findCue(row.elementName), &row);
    }
}

}  // namespace
