#pragma once
// What the fuzz targets share: the input read as UTF-16 units, as Windows
// hands text over (lone surrogate halves included), and the rule that only
// the expected failures leave the code under test.
#include "integrity/MessageError.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace vexa::fuzz {

// Aborts, so libFuzzer keeps the input that broke an invariant.
inline void check(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "broken invariant: %s\n", invariant);
    std::abort();
}

// Two bytes per unit, little-endian, every value from 0 to 0xFFFF.
inline std::wstring wideUnits(const std::uint8_t* data, std::size_t size) {
    std::wstring units;
    for (std::size_t at = 0; at + 1 < size; at += 2)
        units += static_cast<wchar_t>(data[at] | data[at + 1] << 8);
    return units;
}

// The units split at each NUL, which no argument or path can hold.
inline std::vector<std::wstring> splitAtNul(const std::wstring& units) {
    std::vector<std::wstring> pieces(1);
    for (wchar_t unit : units) {
        if (unit == L'\0') pieces.emplace_back();
        else pieces.back() += unit;
    }
    return pieces;
}

// The sentence step was refused with, or nothing when it succeeded. A
// MessageError, or one of the Expected types, is a refusal; any other
// exception is a fault.
template <typename... Expected, typename Step>
std::optional<std::string> refusalOf(Step&& step) {
    try {
        step();
        return std::nullopt;
    } catch (const MessageError& refusal) {
        return refusal.what();
    } catch (const std::exception& thrown) {
        if ((dynamic_cast<const Expected*>(&thrown) || ...)) return thrown.what();
        std::fprintf(stderr, "unexpected exception: %s\n", thrown.what());
        std::abort();
    }
}

} // namespace vexa::fuzz
