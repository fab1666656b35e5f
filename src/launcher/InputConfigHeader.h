#pragma once
#include <string_view>

namespace vexa {

// True when the first line holding any token is exactly "vexa-input 1":
// lines split at line feeds, '#' starts a comment, tokens split at the six
// white-space characters. Nothing after that line is looked at.
bool hasSupportedInputHeader(std::string_view text);

} // namespace vexa
