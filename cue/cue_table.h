// The cue table: the 69 element names the system recognises, each with its
// cue id and the WAV file that stands for it. Fixed at build time, read-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// A name as the accessibility layer reports it: UTF-16 code units, or absent.
// An absent name is not the empty string.
using ElementName = std::optional<std::u16string_view>;

struct CueRow {
    std::int32_t cueId;            // 1004 + position in the table
    std::u16string_view elementName;
    const char* soundFile;         // "Sounds\<file>", 8-bit, relative to the current directory
};

constexpr std::int32_t firstCueId = 1004;
constexpr std::int32_t lastCueId = 1072;
constexpr std::size_t cueTableSize = 69;

extern const CueRow cueTable[cueTableSize];

// Exact equality: both absent, or the same code units and the same length.
bool namesEqual(const ElementName& a, const ElementName& b);

// The row whose name equals `name`, or null.
const CueRow* findCue(const ElementName& name);

// The row of `cueId` (1004..1072), or null.
const CueRow* cueById(std::int32_t cueId);
