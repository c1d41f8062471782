#include "files.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>

#include "cue_table.h"

namespace soundgen {

namespace {

void putLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
    }
}

std::uint32_t getLe(const std::string& in, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

}  // namespace

std::string utf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::set<std::string> tableSoundFiles(const char* tool, bool& ok) {
    constexpr std::string_view folder = "Sounds\\";
    std::set<std::string> files;
    for (const CueRow& row : cueTable) {
        const std::string_view path(row.soundFile);
        if (path.substr(0, folder.size()) != folder || path.size() == folder.size()) {
            std::fprintf(stderr, "%s: cue %d: sound file \"%s\" is not in Sounds\\\n", tool,
                         row.cueId, row.soundFile);
            ok = false;
            continue;
        }
        files.emplace(path.substr(folder.size()));
    }
    return files;
}

bool writeWav(const std::filesystem::path& path, const std::vector<std::int16_t>& pcm, int rate) {
    const auto dataBytes = static_cast<std::uint32_t>(pcm.size() * 2);
    const auto sampleRate = static_cast<std::uint32_t>(rate);
    std::string out;
    out += "RIFF";
    putLe(out, 4 + (8 + 16) + (8 + dataBytes), 4);
    out += "WAVEfmt ";
    putLe(out, 16, 4);
    putLe(out, 1, 2);               // PCM
    putLe(out, 1, 2);               // mono
    putLe(out, sampleRate, 4);
    putLe(out, sampleRate * 2, 4);  // bytes per second
    putLe(out, 2, 2);               // bytes per frame
    putLe(out, 16, 2);              // bits per sample
    out += "data";
    putLe(out, dataBytes, 4);
    for (std::int16_t s : pcm) {
        putLe(out, static_cast<std::uint16_t>(s), 2);
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}

std::vector<std::int16_t> readWav(const std::filesystem::path& path, int& rate, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    const std::string in((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (in.size() < 12 || in.compare(0, 4, "RIFF") != 0 || in.compare(8, 4, "WAVE") != 0) {
        error = path.string() + " is not a RIFF WAVE file";
        return {};
    }
    bool format = false;
    for (std::size_t at = 12; at + 8 <= in.size();) {
        const std::string id = in.substr(at, 4);
        const std::size_t size = getLe(in, at + 4, 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= in.size()) {
            format = getLe(in, body, 2) == 1 && getLe(in, body + 2, 2) == 1 && getLe(in, body + 14, 2) == 16;
            rate = static_cast<int>(getLe(in, body + 4, 4));
        } else if (id == "data" && format) {
            const std::size_t end = std::min(in.size(), body + size);
            std::vector<std::int16_t> pcm;
            for (std::size_t i = body; i + 1 < end; i += 2) {
                pcm.push_back(static_cast<std::int16_t>(getLe(in, i, 2)));
            }
            return pcm;
        }
        at = body + size + (size & 1);
    }
    error = path.string() + " is not 16-bit PCM mono";
    return {};
}

}  // namespace soundgen
