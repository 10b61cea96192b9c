#include "common/utilities.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "base/text.h"

namespace kdx2::common {

namespace {

constexpr long kSecondsPerDay = 86400;

std::string_view span(std::string_view text, size_t from, size_t length) {
    if (from >= text.size()) return {};
    return text.substr(from, length);
}

std::string twoDigits(long value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02ld", value);
    return buffer;
}

// Windows-1252 letter and the CP850 byte imported text uses for it.
constexpr std::array<std::pair<uint8_t, uint8_t>, 25> kImportLetters{{
    {0xE1, 0xA0},  // á
    {0xE9, 0x82},  // é
    {0xED, 0xA1},  // í
    {0xF3, 0xA2},  // ó
    {0xFA, 0xA3},  // ú
    {0xC1, 0x41},  // Á
    {0xC9, 0x90},  // É
    {0xCD, 0x49},  // Í
    {0xD3, 0x4F},  // Ó
    {0xDA, 0x55},  // Ú
    {0xE0, 0x85},  // à
    {0xE3, 0x84},  // ã, stored as ä
    {0xF5, 0x94},  // õ, stored as ö
    {0xC3, 0x41},  // Ã
    {0xD5, 0x4F},  // Õ
    {0xE7, 0x87},  // ç
    {0xC7, 0x80},  // Ç
    {0xE2, 0x83},  // â
    {0xEA, 0x88},  // ê
    {0xF4, 0x93},  // ô
    {0xFB, 0x96},  // û
    {0xC2, 0x41},  // Â
    {0xCA, 0x45},  // Ê
    {0xD4, 0x4F},  // Ô
    {0xDB, 0x55},  // Û
}};

uint8_t toCp850(uint8_t byte) {
    for (const auto& [windows, cp850] : kImportLetters) {
        if (byte == windows) return cp850;
    }
    return byte;
}

// Only the CP850 bytes that are not plain letters go back: a plain capital
// may have been typed so and must not gain an accent.
uint8_t toWindows(uint8_t byte) {
    if (byte < 0x80) return byte;
    for (const auto& [windows, cp850] : kImportLetters) {
        if (byte == cp850) return windows;
    }
    return byte;
}

}  // namespace

std::string BAR_DIR(std::string_view path) {
    std::string closed(path);
    if (closed.empty() || closed.back() != '\\') closed += '\\';
    return closed;
}

std::string BAR_FORA(std::string_view path) {
    std::string bare(path);
    if (!bare.empty() && bare.back() == '\\') bare.pop_back();
    return bare;
}

std::string TIRA_DIR(std::string_view path) {
    const size_t slash = path.rfind('\\');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

long HORA_SEG(std::string_view time) {
    const auto part = [&](size_t from) {
        return static_cast<long>(base::parseNumber(span(time, from, 2)));
    };
    return part(0) * 3600 + part(3) * 60 + part(6);
}

std::string SEG_HORA(long seconds) {
    const long inDay = (seconds % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
    return twoDigits(inDay / 3600) + ":" + twoDigits(inDay / 60 % 60) + ":" + twoDigits(inDay % 60);
}

std::string SEG_HOR_2(long seconds) {
    if (seconds < 0) seconds = 0;
    return twoDigits(seconds / kSecondsPerDay % 99) + "D" + twoDigits(seconds / 3600 % 24) + "h" +
           twoDigits(seconds / 60 % 60) + "m";
}

base::Value TEMPO_PAS(std::string_view start, std::string_view end, int format) {
    long elapsed = HORA_SEG(end) - HORA_SEG(start);
    if (end < start) elapsed += kSecondsPerDay;
    if (format == 1) return base::Value(SEG_HORA(elapsed));
    return base::Value(static_cast<double>(elapsed));
}

std::string AJUS_CAR(std::string_view text, int mode) {
    std::string result = base::rtrim(text);
    if (mode != 1 && mode != 2) return result;
    for (char& c : result) {
        const auto byte = static_cast<uint8_t>(c);
        c = static_cast<char>(mode == 1 ? toCp850(byte) : toWindows(byte));
    }
    return result;
}

}  // namespace kdx2::common
