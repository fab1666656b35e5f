#include "updater/ApplicationFolder.h"

#include "integrity/FileIo.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/PathSafety.h"

#include <windows.h>

namespace vexa {

std::wstring requireApplicationFolder(const std::wstring& given) {
    // Normal first, so the link walk covers the folders Windows will really use.
    std::wstring folder = lexicallyNormal(given);
    requireSafeFolderPath(folder);
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw MessageError("The Vexa 3711 folder does not exist.");
    DWORD launcher = GetFileAttributesW(joinPath(folder, L"Vexa3711.exe").c_str());
    if (launcher == INVALID_FILE_ATTRIBUTES || (launcher & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        throw MessageError("The folder to update does not hold Vexa3711.exe.");
    return folder;
}

bool inspectTarget(const std::wstring& folder, const std::wstring& relativePath) {
    std::wstring path = joinPath(folder, relativePath);
    requireSafeFolderPath(path);
    bool exists = pathExists(path);
    if (exists && (GetFileAttributesW(path.c_str()) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        throw MessageError("A launcher file in the Vexa 3711 folder is not a plain file.");
    return exists;
}

std::vector<SwapTarget> inspectTargets(const std::wstring& folder, const std::vector<PayloadFile>& files) {
    std::vector<SwapTarget> targets;
    for (const PayloadFile& file : files) targets.push_back({file.relativePath, inspectTarget(folder, file.relativePath)});
    return targets;
}

} // namespace vexa
