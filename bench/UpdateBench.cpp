// Workloads for the update benchmark, each in its own Wine process so that its
// peak memory can be read from outside. Timed modes print milliseconds measured
// inside the process, which leaves Wine's start-up out.
//   UpdateBench update <application folder> <player-data folder>
//                          the whole Updates command with a player who answers OK;
//                          prints its milliseconds, or the sentence it showed and exit code 65
//   UpdateBench idle       nothing (the Wine process baseline)
//   UpdateBench floor <build URL> <file>
//                          the steps the command cannot do without, each in its barest form: the
//                          build fetched with WinHTTP into one buffer, two BCrypt SHA-256 passes
//                          over it, and one write and flush of it; prints its milliseconds, in
//                          all and for each of the three
//   UpdateBench --directory ...
//                          how the command starts the downloaded build: this program,
//                          padded, is that build, and exits at once
// Where the command's time goes:
//   UpdateBench steps <application folder> <player-data folder>
//                          the command's steps replayed one by one through the same library
//                          calls (what the command keeps private is mirrored); prints the
//                          milliseconds of each in the order of STEPS in bench/update.py
#include "integrity/ArgumentQuoting.h"
#include "integrity/FileIo.h"
#include "integrity/PathGrammar.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"
#include "update/PublisherSignature.h"
#include "update/ReleaseFeed.h"
#include "update/UpdateCommand.h"
#include "update/UpdateHost.h"
#include "update/UpdateTransport.h"

#include <nlohmann/json.hpp>

#include <windows.h>
#include <bcrypt.h>
#include <shellapi.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

using namespace vexa;

namespace {

double nowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER ticks{};
    QueryPerformanceCounter(&ticks);
    return static_cast<double>(ticks.QuadPart) / ticksPerMs;
}

struct AcceptingDialogs : UpdateDialogs {
    std::vector<std::wstring> boxes;
    int messageBox(void*, const std::wstring& text, const std::wstring&, unsigned) override {
        boxes.push_back(text);
        return IDOK;
    }
};

int update(const std::wstring& application, const std::wstring& playerData) {
    AcceptingDialogs dialogs;
    double start = nowMs();
    bool started = runLauncherUpdate(nullptr, application, playerData, dialogs);
    double elapsed = nowMs() - start;
    // Started means exactly one box: the question.
    if (!started || dialogs.boxes.size() != 1) {
        std::printf("%s\n", dialogs.boxes.empty() ? "no box shown" : wideToUtf8(dialogs.boxes.back()).c_str());
        return 65;
    }
    std::printf("%.1f\n", elapsed);
    return 0;
}

// WinHTTP, with every read counted and timed.
class CountingOperations : public HttpsOperations {
public:
    std::size_t reads = 0, largest = 0;
    double readMs = 0;
    double headersAt = 0;  // when the first read began: the response headers are in

    std::optional<UrlComponents> crackUrl(const std::wstring& url) override { return real_.crackUrl(url); }
    Handle openSession() override { return real_.openSession(); }
    void setTimeouts(Handle session) override { real_.setTimeouts(session); }
    bool requireModernTls(Handle session) override { return real_.requireModernTls(session); }
    Handle connect(Handle session, const std::wstring& host) override { return real_.connect(session, host); }
    Handle openRequest(Handle connection, const std::wstring& path) override {
        return real_.openRequest(connection, path);
    }
    void disableRedirects(Handle request) override { real_.disableRedirects(request); }
    bool sendRequest(Handle request) override { return real_.sendRequest(request); }
    bool receiveResponse(Handle request) override { return real_.receiveResponse(request); }
    bool certificateRevoked(Handle request) override { return real_.certificateRevoked(request); }
    std::optional<std::uint32_t> statusCode(Handle request) override { return real_.statusCode(request); }
    std::optional<std::size_t> readData(Handle request, unsigned char* buffer, std::size_t capacity) override {
        double start = nowMs();
        if (reads == 0) headersAt = start;
        std::optional<std::size_t> got = real_.readData(request, buffer, capacity);
        readMs += nowMs() - start;
        ++reads;
        if (got && *got > largest) largest = *got;
        return got;
    }
    void closeHandle(Handle handle) override { real_.closeHandle(handle); }

private:
    HttpsOperations& real_ = winHttpOperations();
};

// The command's steps in its order, each timed. The store and the start mirror
// storeDownload and startUpdater of UpdateCommand.cpp, which are private to it:
// keep them alike.
int steps(const std::wstring& application, const std::wstring& playerData) {
    std::vector<double> marks{nowMs()};
    auto mark = [&] { marks.push_back(nowMs()); };

    const UpdateTransferTimes times;
    ByteBuffer feedBody = fetchUpdateResource("https://" + std::string(updateHostText) + std::string(releaseFeedPath), 65536,
                                              {times.feed, "feed out of time"});
    UpdateRelease release = readReleaseFeed(nlohmann::json::parse(feedBody.begin(), feedBody.end(), nullptr, true, false),
                                            std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()),
                                            requirePublisherSignature);
    mark();
    CountingOperations https;
    ByteBuffer build = fetchUpdateResource(release.url, static_cast<std::uint64_t>(release.bytes),
                                           {times.build, "build out of time"}, https);
    mark();
    verifyUpdatePayload(release, build);
    mark();
    requireUpdateFolder(playerData);
    std::wstring cacheFolder = joinPath(playerData, L"launcher-updates");
    requireUpdateFolder(cacheFolder);
    createFolders(cacheFolder);
    std::wstring cachedBuild = joinPath(cacheFolder, L"Relicade-Vexa3711-Mods-" + utf8ToWide(release.sha256) + L".exe");
    requireUpdateFolder(cachedBuild);
    if (pathExists(cachedBuild)) return 3;
    mark();
    std::wstring temporary = joinPath(cacheFolder, L".verified-" + std::to_wstring(GetCurrentProcessId()) + L".exe");
    requireUpdateFolder(temporary);
    {
        UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        DWORD written = 0;
        if (!file || !WriteFile(file.get(), build.data(), static_cast<DWORD>(build.size()), &written, nullptr) ||
            written != build.size())
            return 3;
        mark();
        if (!FlushFileBuffers(file.get())) return 3;
    }
    mark();
    if (!MoveFileExW(temporary.c_str(), cachedBuild.c_str(), MOVEFILE_WRITE_THROUGH)) return 3;
    mark();
    {
        LockedUpdate locked(cachedBuild, release);
        mark();
        std::wstring commandLine = quoteArgument(locked.path()) + L" --directory " + quoteArgument(application) +
                                   L" --restart --wait-pid " + std::to_wstring(GetCurrentProcessId());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(locked.path().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            cacheFolder.c_str(), &startup, &process))
            return 3;
        UniqueKernelHandle processHandle(process.hProcess);
        UniqueKernelHandle threadHandle(process.hThread);
        mark();
    }
    // The same buffer hashed once more, alone: how much of the read-back step is the digest.
    double digestStart = nowMs();
    verifyUpdatePayload(release, build);
    double digestMs = nowMs() - digestStart;

    // feed, headers, body, inside reads, reads, largest read, SHA-256, folders, write, flush,
    // move, lock (read back + SHA-256), start, SHA-256 again, total
    std::printf("%.1f %.1f %.1f %.1f %zu %zu %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f\n", marks[1] - marks[0],
                https.headersAt - marks[1], marks[2] - https.headersAt, https.readMs, https.reads, https.largest,
                marks[3] - marks[2], marks[4] - marks[3], marks[5] - marks[4], marks[6] - marks[5],
                marks[7] - marks[6], marks[8] - marks[7], marks[9] - marks[8], digestMs, marks[9] - marks[0]);
    return 0;
}

void sha256(const unsigned char* bytes, std::size_t size) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    unsigned char digest[32];
    if (BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0 ||
        BCryptHash(provider, nullptr, 0, const_cast<PUCHAR>(bytes), static_cast<ULONG>(size), digest, sizeof digest) < 0)
        std::exit(5);
    BCryptCloseAlgorithmProvider(provider, 0);
}

// The floor the command is measured against: nothing it does beyond what any
// program must do to fetch, prove and keep the build.
int stepsFloor(const std::wstring& url, const std::wstring& target) {
    double start = nowMs();
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return 3;
    std::wstring host(parts.lpszHostName, parts.dwHostNameLength), path(parts.lpszUrlPath, parts.dwUrlPathLength);
    HINTERNET session = WinHttpOpen(L"floor", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection = session ? WinHttpConnect(session, host.c_str(), INTERNET_DEFAULT_HTTPS_PORT, 0) : nullptr;
    HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                        WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE)
                                   : nullptr;
    if (!request || !WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request, nullptr))
        return 3;
    ByteBuffer body(67108864);
    std::size_t size = 0;
    for (DWORD got = 1; got != 0; size += got)
        if (!WinHttpReadData(request, body.data() + size, static_cast<DWORD>(std::min<std::size_t>(65536, body.size() - size)), &got))
            return 3;
    WinHttpCloseHandle(request);
    WinHttpCloseHandle(connection);
    WinHttpCloseHandle(session);
    double downloaded = nowMs();
    sha256(body.data(), size);
    sha256(body.data(), size);
    double hashed = nowMs();
    UniqueFile file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), body.data(), static_cast<DWORD>(size), &written, nullptr) || written != size ||
        !FlushFileBuffers(file.get()))
        return 3;
    file.reset();
    double stored = nowMs();
    // total, download, both SHA-256 passes, write and flush
    std::printf("%.1f %.1f %.1f %.1f\n", stored - start, downloaded - start, hashed - downloaded, stored - hashed);
    return 0;
}

} // namespace

int main() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    UniqueLocalMemory owner(arguments);
    std::vector<std::wstring> args(arguments + 1, arguments + count);
    try {
        if (args.empty()) return 2;
        if (args[0] == L"idle" || args[0] == L"--directory") return 0;
        if (args[0] == L"update" && args.size() == 3) return update(args[1], args[2]);
        if (args[0] == L"steps" && args.size() == 3) return steps(args[1], args[2]);
        if (args[0] == L"floor" && args.size() == 3) return stepsFloor(args[1], args[2]);
    } catch (const std::exception& error) {
        std::printf("%s\n", error.what());
        return 65;
    }
    return 2;
}
