#include "integrity/FileIo.h"

#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"

#include <algorithm>
#include <stdexcept>
#include <windows.h>

namespace vexa {
namespace {

struct ReadMessages {
    const char* open;
    const char* size;
    const char* read;
};

constexpr ReadMessages installationMessages{"A required file is missing or unreadable.",
                                            "Invalid file size.",
                                            "A required file could not be read completely."};
constexpr ReadMessages modsMessages{"A Mods file is missing or unreadable.",
                                    "A Mods file exceeds its size limit.",
                                    "A Mods file could not be read completely."};

template <typename Buffer>
void readWhole(HANDLE file, std::uint64_t size, std::uint64_t maxBytes, const ReadMessages& messages, Buffer& buffer) {
    if (size > maxBytes) throw MessageError(messages.size);
    buffer.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < buffer.size()) {
        // ReadFile counts in 32 bits; every limit in use fits one request.
        DWORD request = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file, buffer.data() + done, request, &got, nullptr) || got == 0)
            throw MessageError(messages.read);
        done += got;
    }
}

template <typename Buffer>
Buffer readOpen(HANDLE file, std::uint64_t maxBytes, const ReadMessages& messages) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) throw MessageError(messages.size);
    Buffer buffer;
    readWhole(file, static_cast<std::uint64_t>(size.QuadPart), maxBytes, messages, buffer);
    return buffer;
}

template <typename Buffer>
Buffer readBounded(const std::wstring& path, std::uint64_t maxBytes, const ReadMessages& messages) {
    // Readers and writers elsewhere are tolerated, as with an ordinary stream;
    // a folder, a missing file or a file locked against readers fails here.
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw MessageError(messages.open);
    return readOpen<Buffer>(file.get(), maxBytes, messages);
}

bool isNotFound(DWORD error) {
    // As the standard library treats them: names that cannot exist are missing.
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
           error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME;
}

std::string platformErrorText(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    UniqueLocalMemory owner(text);
    std::wstring wide = length ? std::wstring(text, length) : L"Windows error " + std::to_wstring(error);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' '))
        wide.pop_back();
    return wideToUtf8(wide);
}

} // namespace

ByteBuffer readRequiredFile(const std::wstring& path, std::uint64_t maxBytes) {
    return readBounded<ByteBuffer>(path, maxBytes, installationMessages);
}

ByteBuffer readOpenRequiredFile(void* file, std::uint64_t maxBytes) {
    return readOpen<ByteBuffer>(file, maxBytes, installationMessages);
}

std::string readModsFile(const std::wstring& path, std::uint64_t maxBytes) {
    return readBounded<std::string>(path, maxBytes, modsMessages);
}

std::uint64_t readOpenModsFile(void* file, char* buffer, std::size_t capacity, std::size_t keep,
                               std::uint64_t maxBytes) {
    // Most Mods files are small, and under Wine a read costs in proportion
    // to the buffer it is given, filled or not: the first asks for one page.
    constexpr std::uint64_t firstRequest = 4096, laterRequests = std::uint64_t{1} << 30;
    std::uint64_t done = 0;
    std::size_t at = 0;  // where the next read lands
    while (done <= maxBytes) {
        if (at == capacity) at = keep;
        DWORD request = static_cast<DWORD>(
            std::min<std::uint64_t>({capacity - at, maxBytes + 1 - done, done ? laterRequests : firstRequest}));
        DWORD got = 0;
        if (!ReadFile(file, buffer + at, request, &got, nullptr)) throw MessageError(modsMessages.read);
        done += got;
        at += got;
        // A disk file reads short only at its end: no further call to see it.
        if (got < request) break;
    }
    if (done > maxBytes) throw MessageError(modsMessages.size);
    return done;
}

void writeNewFile(const std::wstring& path, const void* bytes, std::size_t length) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw MessageError("Cannot create a new installation file. Existing files are preserved.");
    const char* unfinished = "Cannot finish writing installation files.";
    DWORD written = 0;
    if (length > MAXDWORD ||
        !WriteFile(file.get(), bytes, static_cast<DWORD>(length), &written, nullptr) ||
        written != length)
        throw MessageError(unfinished);
    bool flushed = FlushFileBuffers(file.get());
    file.reset();
    if (!flushed) throw MessageError(unfinished);
}

void replaceFileAtomically(const std::wstring& temporaryPath, const std::wstring& target,
                           std::string_view content, const std::string& failureMessage) {
    writeNewFile(temporaryPath, content.data(), content.size());
    moveOverTarget(temporaryPath, target, failureMessage);
}

void moveOverTarget(const std::wstring& temporaryPath, const std::wstring& target,
                    const std::string& failureMessage) {
    if (!MoveFileExW(temporaryPath.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporaryPath.c_str());
        throw MessageError(failureMessage);
    }
}

PathKind pathKind(const std::wstring& path) {
    // Opening the object itself follows links; attribute access alone is never
    // refused for sharing, and backup semantics let folders open too.
    UniqueFile object(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!object || !GetFileInformationByHandle(object.get(), &information)) {
        DWORD error = GetLastError();
        if (isNotFound(error)) return PathKind::Missing;
        throw std::runtime_error(platformErrorText(error));
    }
    return information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::Folder : PathKind::File;
}

bool pathExists(const std::wstring& path) { return pathKind(path) != PathKind::Missing; }

void createFolders(const std::wstring& path) {
    if (pathKind(path) == PathKind::Folder) return;
    std::wstring parent = parentPath(path);
    if (!parent.empty() && parent != path) createFolders(parent);
    if (!CreateDirectoryW(path.c_str(), nullptr)) throw std::runtime_error(platformErrorText(GetLastError()));
}

} // namespace vexa
