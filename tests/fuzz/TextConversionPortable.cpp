// The conversions of TextConversion.cpp without the system: the native build
// (fuzzing) uses this file instead. It refuses exactly what Windows refuses
// with MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS, and keeps wide text as
// UTF-16 units even where wchar_t is 32 bits wide.
#include "integrity/TextConversion.h"

#include "integrity/MessageError.h"

#include <climits>
#include <cstdint>

namespace vexa {

std::wstring utf8ToWide(std::string_view text) {
    if (text.empty()) return {};
    const char* invalid = "Invalid saved file path.";
    if (text.size() > INT_MAX) throw MessageError(invalid);
    std::wstring wide;
    wide.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
        unsigned char lead = byte(at);
        std::size_t trailing;
        char32_t value;
        // The first continuation byte's range rules out overlong forms, encoded
        // surrogates and values above U+10FFFF.
        unsigned char low = 0x80, high = 0xbf;
        if (lead < 0x80) {
            wide += static_cast<wchar_t>(lead);
            ++at;
            continue;
        } else if (lead >= 0xc2 && lead <= 0xdf) {
            trailing = 1;
            value = lead & 0x1f;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            trailing = 2;
            value = lead & 0x0f;
            if (lead == 0xe0) low = 0xa0;
            if (lead == 0xed) high = 0x9f;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            trailing = 3;
            value = lead & 0x07;
            if (lead == 0xf0) low = 0x90;
            if (lead == 0xf4) high = 0x8f;
        } else {
            throw MessageError(invalid);
        }
        if (text.size() - at - 1 < trailing) throw MessageError(invalid);
        for (std::size_t i = 1; i <= trailing; ++i) {
            unsigned char next = byte(at + i);
            if (next < low || next > high) throw MessageError(invalid);
            low = 0x80;
            high = 0xbf;
            value = value << 6 | (next & 0x3f);
        }
        at += trailing + 1;
        if (value >= 0x10000) {
            value -= 0x10000;
            wide += static_cast<wchar_t>(0xd800 + (value >> 10));
            wide += static_cast<wchar_t>(0xdc00 + (value & 0x3ff));
        } else {
            wide += static_cast<wchar_t>(value);
        }
    }
    return wide;
}

std::string wideToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const char* invalid = "Invalid text in file path.";
    if (text.size() > INT_MAX) throw MessageError(invalid);
    std::string narrow;
    narrow.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        auto value = static_cast<std::uint32_t>(text[at]);
        // A wider unit cannot come from Windows: refused like any invalid text.
        if (value > 0xffff || (value >= 0xdc00 && value <= 0xdfff)) throw MessageError(invalid);
        if (value >= 0xd800 && value <= 0xdbff) {
            auto next = at + 1 < text.size() ? static_cast<std::uint32_t>(text[at + 1]) : 0;
            if (next < 0xdc00 || next > 0xdfff) throw MessageError(invalid);
            value = 0x10000 + ((value - 0xd800) << 10) + (next - 0xdc00);
            ++at;
        }
        if (value < 0x80) {
            narrow += static_cast<char>(value);
        } else if (value < 0x800) {
            narrow += static_cast<char>(0xc0 | value >> 6);
            narrow += static_cast<char>(0x80 | (value & 0x3f));
        } else if (value < 0x10000) {
            narrow += static_cast<char>(0xe0 | value >> 12);
            narrow += static_cast<char>(0x80 | (value >> 6 & 0x3f));
            narrow += static_cast<char>(0x80 | (value & 0x3f));
        } else {
            narrow += static_cast<char>(0xf0 | value >> 18);
            narrow += static_cast<char>(0x80 | (value >> 12 & 0x3f));
            narrow += static_cast<char>(0x80 | (value >> 6 & 0x3f));
            narrow += static_cast<char>(0x80 | (value & 0x3f));
        }
    }
    return narrow;
}

} // namespace vexa
