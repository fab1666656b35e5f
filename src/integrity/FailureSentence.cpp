#include "integrity/FailureSentence.h"

#include <climits>
#include <exception>
#include <windows.h>

namespace vexa {
namespace {

// Without MB_ERR_INVALID_CHARS every malformed sequence becomes U+FFFD.
std::wstring replacingInvalidBytes(const char* text) {
    std::size_t length = std::char_traits<char>::length(text);
    if (length == 0 || length > INT_MAX) return {};
    int size = static_cast<int>(length);
    int units = MultiByteToWideChar(CP_UTF8, 0, text, size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (units == 0 || MultiByteToWideChar(CP_UTF8, 0, text, size, wide.data(), units) != units) return {};
    return wide;
}

std::wstring fallback() { return replacingInvalidBytes(unexpectedFailure); }

} // namespace

std::wstring sentenceOfCurrentFailure() noexcept {
    try {
        try {
            throw;
        } catch (const std::exception& failure) {
            std::wstring sentence = replacingInvalidBytes(failure.what());
            return sentence.empty() ? fallback() : sentence;
        } catch (...) {
            return fallback();
        }
    } catch (...) {
        // Out of memory while forming the sentence: nothing more can be said.
        return {};
    }
}

} // namespace vexa
