// The path grammar on a path, a folder and a current folder (NUL-separated
// UTF-16 units; a current folder that is not absolute is replaced by C:\cwd).
#include "FuzzSupport.h"
#include "integrity/PathGrammar.h"

#include <algorithm>

using namespace vexa;

namespace {

std::wstring asciiCase(std::wstring text, bool upper) {
    for (wchar_t& unit : text) {
        if (upper && unit >= L'a' && unit <= L'z') unit = static_cast<wchar_t>(unit - L'a' + L'A');
        if (!upper && unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::wstring> inputs = fuzz::splitAtNul(fuzz::wideUnits(data, size));
    inputs.resize(std::max<std::size_t>(inputs.size(), 3));
    const std::wstring &path = inputs[0], &folder = inputs[1];
    const std::wstring fixedCurrent = L"C:\\cwd";
    const std::wstring current = isAbsoluteWidePath(inputs[2]) ? inputs[2] : fixedCurrent;

    std::wstring normal = lexicallyNormal(path);
    fuzz::check(lexicallyNormal(normal) == normal, "normalising is idempotent");
    fuzz::check(normal.find(L'/') == std::wstring::npos, "a normal path has only backslashes");
    if (isAbsoluteWidePath(path)) fuzz::check(isAbsoluteWidePath(normal), "a normal absolute path stays absolute");
    fuzz::check(path.starts_with(parentPath(path)), "a parent is a prefix of its path");
    // An empty path has no absolute form; any other is made absolute against an absolute folder.
    fuzz::check(isAbsoluteWidePath(makeAbsolute(path, current)) != path.empty(), "made absolute, unless empty");

    bool inside = isSameOrInsideFolder(path, folder, current);
    fuzz::check(isSameOrInsideFolder(path, path, current), "containment is reflexive");
    fuzz::check(isSameOrInsideFolder(asciiCase(path, true), asciiCase(folder, false), current) == inside,
                "containment ignores letter case");
    if (isAbsoluteWidePath(path) && isAbsoluteWidePath(folder))
        fuzz::check(isSameOrInsideFolder(path, folder, fixedCurrent) == inside,
                    "absolute paths do not depend on the current folder");
    std::wstring normalFolder = lexicallyNormal(folder);
    if (isAbsoluteWidePath(normalFolder))
        fuzz::check(isSameOrInsideFolder(joinPath(normalFolder, L"x"), normalFolder, current),
                    "a folder holds what is joined to it");
    return 0;
}
