#pragma once
// The publisher's update host: the one server the launcher talks to, on port
// 443 only, and the two resources it serves.
#include <string_view>

namespace vexa {

// A constant of the build (VEXA_UPDATE_HOST).
constexpr std::string_view updateHostText = VEXA_UPDATE_HOST;
constexpr std::wstring_view updateHost = L"" VEXA_UPDATE_HOST;

constexpr std::string_view releaseFeedPath = "/programs/vexa3711/latest.json";
constexpr std::string_view updateUserAgent = "Relicade-VexaLauncher-Updates/1";

} // namespace vexa
