#pragma once
#include <string>
#include <string_view>

namespace vexa {

// One command-line argument, always in double quotes, that CommandLineToArgvW
// (and the C runtime) splits back into exactly the given text.
std::wstring quoteArgument(std::wstring_view argument);

} // namespace vexa
