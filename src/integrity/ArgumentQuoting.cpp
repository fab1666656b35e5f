#include "integrity/ArgumentQuoting.h"

namespace vexa {

std::wstring quoteArgument(std::wstring_view argument) {
    std::wstring quoted(1, L'"');
    std::size_t pendingBackslashes = 0;
    for (wchar_t unit : argument) {
        if (unit == L'\\') {
            ++pendingBackslashes;
            continue;
        }
        // Backslashes only escape when a quote follows them.
        if (unit == L'"') quoted.append(2 * pendingBackslashes + 1, L'\\');
        else quoted.append(pendingBackslashes, L'\\');
        quoted += unit;
        pendingBackslashes = 0;
    }
    quoted.append(2 * pendingBackslashes, L'\\');
    quoted += L'"';
    return quoted;
}

} // namespace vexa
