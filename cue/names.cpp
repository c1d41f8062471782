#include "cue_table.h"

namespace {

// Three-way comparison of two present names, code units as unsigned 16-bit
// values; a name that is a prefix of the other is the smaller one.
int compareNames(std::u16string_view a, std::u16string_view b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return static_cast<int>(static_cast<std::uint16_t>(a[i])) -
                   static_cast<int>(static_cast<std::uint16_t>(b[i]));
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

bool namesEqual(const ElementName& a, const ElementName& b) {
    if (!a.has_value() || !b.has_value()) {
        return a.has_value() == b.has_value();
    }
    return compareNames(*a, *b) == 0;
}

const CueRow* findCue(const ElementName& name) {
    // The names are distinct, so the first match is the only one.
    for (const CueRow& row : cueTable) {
        if (namesEqual(ElementName(row.elementName), name)) {
            return &row;
        }
    }
    return nullptr;
}

const CueRow* cueById(std::int32_t cueId) {
    // One unsigned comparison covers both ends of the range.
    const auto position = static_cast<std::uint32_t>(cueId) - static_cast<std::uint32_t>(firstCueId);
    if (position >= cueTableSize) {
        return nullptr;
    }
    return &cueTable[position];
}
