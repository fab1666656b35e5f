#include "launcher/InputConfigHeader.h"

#include <vector>

namespace vexa {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::vector<std::string_view> tokensOf(std::string_view line) {
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && isBlank(line[at])) ++at;
        std::size_t end = at;
        while (end < line.size() && !isBlank(line[end])) ++end;
        if (end > at) tokens.push_back(line.substr(at, end - at));
        at = end;
    }
    return tokens;
}

} // namespace

bool hasSupportedInputHeader(std::string_view text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        line = line.substr(0, line.find('#'));
        std::vector<std::string_view> tokens = tokensOf(line);
        if (!tokens.empty())
            return tokens.size() == 2 && tokens[0] == "vexa-input" && tokens[1] == "1";
        start = end + 1;
    }
    return false;
}

} // namespace vexa
