#include "updater/FileSwap.h"

#include "integrity/MessageError.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"

#include <windows.h>

namespace vexa {
namespace {

[[noreturn]] void fail(const char* what, const std::wstring& path, DWORD error) {
    throw MessageError(std::string(what) + " " + wideToUtf8(path) + " (Windows error " + std::to_string(error) + ").");
}

void writeTemporary(const std::wstring& path, std::string_view content) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) fail("Cannot create", path, GetLastError());
    DWORD written = 0;
    // Payload files are at most 256 MiB: one request each.
    bool complete = WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
                    written == content.size() && FlushFileBuffers(file.get());
    DWORD error = GetLastError();
    file.reset();
    if (complete) return;
    DeleteFileW(path.c_str());
    fail("Cannot write", path, error);
}

} // namespace

SwapStepRunner fileSystemRunner(std::string_view payload, const std::vector<PayloadFile>& files) {
    return [payload, &files](const SwapStep& step) {
        switch (step.kind) {
        case SwapStep::Kind::Write:
            writeTemporary(step.path, payload.substr(files.at(step.file).offset, files.at(step.file).size));
            return;
        case SwapStep::Kind::Move:
            if (!MoveFileExW(step.path.c_str(), step.destination.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                fail("Cannot move", step.path, GetLastError());
            return;
        case SwapStep::Kind::Remove:
            if (!DeleteFileW(step.path.c_str())) fail("Cannot remove", step.path, GetLastError());
            return;
        }
    };
}

} // namespace vexa
