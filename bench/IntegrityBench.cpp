// Reference workloads for the integrity benchmark, measured in the same run as
// the launcher's own code:
//   IntegrityBench read-hash <folder>        read each installed file whole and SHA-256 it
//   IntegrityBench cartridge <image> <n>     the launcher's cartridge verification, n times
//   IntegrityBench read-sha1 <image> <n>     a bare read of the image plus SHA-1, n times
//   IntegrityBench idle                      nothing (the Wine process baseline)
// Timed modes print the median milliseconds of one round.
#include "integrity/CartridgeImage.h"
#include "integrity/InstallationTable.h"
#include "integrity/PathGrammar.h"
#include "integrity/UniqueHandle.h"

#include <windows.h>
#include <bcrypt.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace vexa;

namespace {

std::unique_ptr<unsigned char[]> readWhole(const std::wstring& path, DWORD& size) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER length{};
    if (!file || !GetFileSizeEx(file.get(), &length)) std::exit(3);
    size = static_cast<DWORD>(length.QuadPart);
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[size ? size : 1]);
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.get(), size, &got, nullptr) || got != size) std::exit(4);
    return bytes;
}

void hash(const wchar_t* algorithm, const unsigned char* bytes, DWORD size) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    unsigned char digest[64];
    ULONG length = wcscmp(algorithm, L"SHA1") == 0 ? 20 : 32;
    if (BCryptOpenAlgorithmProvider(&provider, algorithm, nullptr, 0) < 0 ||
        BCryptHash(provider, nullptr, 0, const_cast<PUCHAR>(bytes), size, digest, length) < 0)
        std::exit(5);
    BCryptCloseAlgorithmProvider(provider, 0);
}

template <typename Round>
double medianMilliseconds(int rounds, Round round) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int n = 0; n < rounds; ++n) {
        LARGE_INTEGER start{}, end{};
        QueryPerformanceCounter(&start);
        round();
        QueryPerformanceCounter(&end);
        times.push_back(1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring mode = count > 1 ? argv[1] : L"";
    if (mode == L"read-hash" && count > 2) {
        for (const InstallationRow& row : installationTable()) {
            DWORD size = 0;
            auto bytes = readWhole(joinPath(argv[2], row.relativePath), size);
            hash(L"SHA256", bytes.get(), size);
        }
        return 0;
    }
    if ((mode == L"cartridge" || mode == L"read-sha1") && count > 3) {
        std::wstring image = argv[2];
        int rounds = _wtoi(argv[3]);
        double ms = mode == L"cartridge"
            ? medianMilliseconds(rounds, [&] { openVerifiedCartridgeImage(image); })
            : medianMilliseconds(rounds, [&] {
                  DWORD size = 0;
                  auto bytes = readWhole(image, size);
                  hash(L"SHA1", bytes.get(), size);
              });
        std::printf("%.2f\n", ms);
        return 0;
    }
    return mode == L"idle" ? 0 : 2;
}
