// Turns a copy of the updater into an update package: the launcher files
// become its payload resource (tables and rules in src/updater/PayloadTable.h).
//   Vexa3711UpdatePacker <updater.exe> <package.exe> <relative path> <file> [<relative path> <file>...]
// Files are swapped in the order given. Exit code 0, or 1 with the reason on
// standard error and no package left behind.
#include "integrity/FileIo.h"
#include "integrity/MessageError.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"
#include "updater/PayloadResource.h"
#include "updater/PayloadTable.h"

#include <cstdio>
#include <windows.h>

namespace {

// BeginUpdateResourceW: closing without EndUpdateResourceW(.., FALSE) discards the changes.
struct ResourceUpdateTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type update) noexcept { EndUpdateResourceW(update, TRUE); }
};
using UniqueResourceUpdate = vexa::UniqueResource<ResourceUpdateTraits>;

void pack(const std::wstring& stub, const std::wstring& package, const std::vector<std::wstring>& pairs) {
    using vexa::MessageError;
    std::vector<vexa::PayloadSource> files;
    for (std::size_t at = 0; at + 1 < pairs.size(); at += 2) {
        vexa::ByteBuffer content = vexa::readRequiredFile(pairs[at + 1], 256u << 20);
        files.push_back({vexa::wideToUtf8(pairs[at]), std::string(content.begin(), content.end())});
    }
    std::string payload = vexa::buildPayload(files);
    vexa::verifyPayload(payload);  // the updater's own rules, before any file is written

    if (!CopyFileW(stub.c_str(), package.c_str(), FALSE)) throw MessageError("Cannot copy the updater.");
    UniqueResourceUpdate update(BeginUpdateResourceW(package.c_str(), FALSE));
    if (!update || !UpdateResourceW(update.get(), RT_RCDATA, vexa::payloadResourceName,
                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), payload.data(),
                                    static_cast<DWORD>(payload.size())))
        throw MessageError("Cannot add the launcher files to the updater.");
    if (!EndUpdateResourceW(update.release(), FALSE)) throw MessageError("Cannot write the update package.");

    // Read back as Windows will: the package must carry exactly this payload.
    vexa::UniqueModule written(LoadLibraryExW(package.c_str(), nullptr,
                                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!written || vexa::payloadOf(written.get()) != payload)
        throw MessageError("The written package does not carry the launcher files.");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5 || argc % 2 == 0) {
        std::fputs("usage: Vexa3711UpdatePacker <updater.exe> <package.exe> <relative path> <file>...\n", stderr);
        return 1;
    }
    try {
        pack(argv[1], argv[2], std::vector<std::wstring>(argv + 3, argv + argc));
        return 0;
    } catch (const std::exception& failure) {
        DeleteFileW(argv[2]);
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
}
