#pragma once
#include <string>

namespace vexa {

// What the player is told when nothing else can be said.
inline constexpr const char* unexpectedFailure = "The launcher stopped unexpectedly. Reinstall this version.";

// The sentence for the failure being handled; call it only inside a catch
// block. Every catching level shows failures through this one policy: a
// message error's sentence as it is, a library's own text with any byte that
// is not UTF-8 shown as U+FFFD, and the fallback sentence for anything else.
std::wstring sentenceOfCurrentFailure() noexcept;

} // namespace vexa
