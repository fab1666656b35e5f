#include "integrity/TextConversion.h"

#include "integrity/MessageError.h"

#include <climits>
#include <windows.h>

namespace vexa {

std::wstring utf8ToWide(std::string_view text) {
    if (text.empty()) return {};
    const char* invalid = "Invalid saved file path.";
    if (text.size() > INT_MAX) throw MessageError(invalid);
    int size = static_cast<int>(text.size());
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (units == 0) throw MessageError(invalid);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), units) == 0)
        throw MessageError(invalid);
    return wide;
}

std::string wideToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const char* invalid = "Invalid text in file path.";
    if (text.size() > INT_MAX) throw MessageError(invalid);
    int size = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, nullptr, 0,
                                    nullptr, nullptr);
    if (bytes == 0) throw MessageError(invalid);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, narrow.data(), bytes,
                            nullptr, nullptr) == 0)
        throw MessageError(invalid);
    return narrow;
}

} // namespace vexa
