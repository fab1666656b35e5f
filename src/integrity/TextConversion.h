#pragma once
#include <string>
#include <string_view>

namespace vexa {

// Strict conversions: invalid input is refused, never replaced.
std::wstring utf8ToWide(std::string_view text);   // "Invalid saved file path."
std::string wideToUtf8(std::wstring_view text);   // "Invalid text in file path."

} // namespace vexa
