// The conversions of TextConversion.cpp without the system: the native build
// (fuzzing) uses this file instead. glibc's iconv refuses what Windows refuses
// with MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS (overlong forms, encoded
// surrogates, values above U+10FFFF, lone halves); wide text stays UTF-16
// units even where wchar_t is 32 bits wide.
#include "integrity/TextConversion.h"

#include "integrity/MessageError.h"

#include <climits>
#include <cstdint>
#include <iconv.h>
#include <stdexcept>

namespace vexa {
namespace {

// The whole input converted, or nothing.
bool convert(const char* from, const char* to, std::string_view input, std::string& output) {
    iconv_t converter = iconv_open(to, from);
    // Without the converter every text would read as invalid: a broken build, not a refusal.
    if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert UTF-8 here");
    output.assign(input.size() * 2, '\0');
    char* in = const_cast<char*>(input.data());
    char* out = output.data();
    std::size_t inLeft = input.size(), outLeft = output.size();
    bool whole = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
    iconv_close(converter);
    output.resize(output.size() - outLeft);
    return whole;
}

} // namespace

std::wstring utf8ToWide(std::string_view text) {
    std::string units;
    if (text.size() > INT_MAX || !convert("UTF-8", "UTF-16LE", text, units)) throw MessageError("Invalid saved file path.");
    std::wstring wide;
    for (std::size_t at = 0; at < units.size(); at += 2)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(units[at]) | static_cast<unsigned char>(units[at + 1]) << 8);
    return wide;
}

std::string wideToUtf8(std::wstring_view text) {
    std::string units, narrow;
    for (wchar_t unit : text) {
        // A wider unit cannot come from Windows: refused like any invalid text.
        if (static_cast<std::uint32_t>(unit) > 0xffff) throw MessageError("Invalid text in file path.");
        units += static_cast<char>(unit & 0xff);
        units += static_cast<char>(unit >> 8 & 0xff);
    }
    if (text.size() > INT_MAX || !convert("UTF-16LE", "UTF-8", units, narrow)) throw MessageError("Invalid text in file path.");
    return narrow;
}

} // namespace vexa
