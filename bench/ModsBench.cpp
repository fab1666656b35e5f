// Workloads for the mods benchmark, each in its own Wine process so that its
// peak memory can be read from outside:
//   ModsBench validate <pack> [<application folder> <player-data folder>]
//                           the launcher's texture-pack validation; prints the mapping count,
//                           or the launcher's sentence and exit code 65 when it refuses
//   ModsBench read <pack>   the reference: opens and reads whole, into one reused buffer,
//                           every file that rt64.json names (found by a plain scan of its
//                           "path" strings), nothing parsed
//   ModsBench parse <pack>  rt64.json read and parsed with nlohmann/json, nothing else
//   ModsBench idle          nothing (the Wine process baseline)
#include "integrity/PathGrammar.h"
#include "integrity/UniqueHandle.h"
#include "mods/ModsSettings.h"
#include "mods/TexturePack.h"

#include <nlohmann/json.hpp>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

using namespace vexa;

namespace {

[[noreturn]] void fail(const char* what, const std::wstring& path) {
    std::printf("%s: %ls (error %lu)\n", what, path.c_str(), GetLastError());
    std::exit(3);
}

// CreateFileW, GetFileSizeEx, ReadFile, CloseHandle: what any whole-file check
// must pay. The storage comes from the caller once the size is known.
template <typename Storage>
std::size_t readWhole(const std::wstring& path, Storage storage) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER length{};
    if (!file || !GetFileSizeEx(file.get(), &length)) fail("cannot open", path);
    std::size_t size = static_cast<std::size_t>(length.QuadPart);
    char* bytes = storage(size);
    std::size_t done = 0;
    while (done < size) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        if (!ReadFile(file.get(), bytes + done, want, &got, nullptr) || got == 0) fail("cannot read", path);
        done += got;
    }
    return size;
}

std::string readDescription(const std::wstring& pack) {
    std::string text;
    readWhole(joinPath(pack, L"rt64.json"), [&](std::size_t size) {
        text.resize(size);
        return text.data();
    });
    return text;
}

std::wstring widen(const std::string& utf8) {
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(std::size_t(length), L'\0');
    if (length == 0 && !utf8.empty()) std::exit(4);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(), length);
    return wide;
}

// The values of every "path" member, without parsing the rest. The generated
// packs escape nothing but quotes, backslashes and solidi.
std::vector<std::string> scanPaths(const std::string& text) {
    std::vector<std::string> paths;
    const std::string key = "\"path\"";
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
        at += key.size();
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n' || text[at] == ':'))
            ++at;
        if (at >= text.size() || text[at] != '"') continue;
        std::string value;
        for (++at; at < text.size() && text[at] != '"'; ++at) {
            if (text[at] == '\\') {
                char escaped = ++at < text.size() ? text[at] : '\0';
                if (escaped != '"' && escaped != '\\' && escaped != '/') {
                    std::printf("unsupported escape in a path of rt64.json\n");
                    std::exit(5);
                }
                value += escaped;
            } else {
                value += text[at];
            }
        }
        paths.push_back(std::move(value));
    }
    return paths;
}

int readReference(const std::wstring& pack) {
    std::vector<std::string> paths = scanPaths(readDescription(pack));
    // One buffer for every image, grown to the largest: first touches of fresh
    // pages can cost more than the reads themselves, and the peak stays at the
    // largest image.
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    auto reuse = [&](std::size_t size) {
        if (size > capacity) {
            buffer.reset();
            buffer.reset(new char[size]);
            capacity = size;
        }
        return buffer.get();
    };
    for (const std::string& path : paths) {
        std::wstring relative = widen(path);
        for (wchar_t& unit : relative)
            if (unit == L'/') unit = L'\\';
        readWhole(joinPath(pack, relative), reuse);
    }
    std::printf("%zu\n", paths.size());
    return 0;
}

int parseDescription(const std::wstring& pack) {
    nlohmann::json description = nlohmann::json::parse(readDescription(pack));
    std::printf("%zu\n", description.at("textures").size());
    return 0;
}

int validate(const std::wstring& pack, std::wstring application, std::wstring playerData) {
    std::wstring drive(pack, 0, rootNameLength(pack));
    if (application.empty()) application = drive + L"\\mods-bench\\application";
    if (playerData.empty()) playerData = drive + L"\\mods-bench\\player-data";
    try {
        std::uint64_t count = validateTexturePack(ModsSettings{true, pack}, application, playerData);
        std::printf("%llu\n", static_cast<unsigned long long>(count));
        return 0;
    } catch (const std::exception& error) {
        std::printf("%s\n", error.what());
        return 65;
    }
}

} // namespace

int main() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    UniqueLocalMemory owner(arguments);
    std::wstring mode = count > 1 ? arguments[1] : L"";
    std::wstring pack = count > 2 ? arguments[2] : L"";
    if (mode == L"idle") return 0;
    if (pack.empty()) return 2;
    if (mode == L"read") return readReference(pack);
    if (mode == L"parse") return parseDescription(pack);
    if (mode == L"validate")
        return validate(pack, count > 3 ? arguments[3] : L"", count > 4 ? arguments[4] : L"");
    return 2;
}
