#pragma once
// The launcher's one failure type: a single English sentence (UTF-8) that is
// shown to the player unchanged by whichever level catches it.
#include <stdexcept>
#include <string>

namespace vexa {

class MessageError : public std::runtime_error {
public:
    explicit MessageError(const std::string& sentence) : std::runtime_error(sentence) {}
};

} // namespace vexa
