// What both build-time generators (the cues and the spoken tour) read and
// write: the cue table's sound files and 16-bit PCM mono WAV files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace soundgen {

// The table's file names without the "Sounds\" folder. A malformed row is
// reported on stderr under `tool` and clears ok.
std::set<std::string> tableSoundFiles(const char* tool, bool& ok);

// An element name in UTF-8, as the texts beside the sounds print it.
std::string utf8(std::u16string_view text);

// Writes RIFF WAVE, PCM, 16 bit, mono, with a 16-byte fmt chunk.
bool writeWav(const std::filesystem::path& path, const std::vector<std::int16_t>& pcm, int rate);

// Reads a 16-bit PCM mono WAV; sets rate. Empty with error set when unusable.
std::vector<std::int16_t> readWav(const std::filesystem::path& path, int& rate, std::string& error);

}  // namespace soundgen
