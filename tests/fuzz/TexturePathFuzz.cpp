// A mapping's texture path, as raw bytes from the description: what is
// accepted names one file inside the pack, under exactly the name written.
#include "FuzzSupport.h"
#include "integrity/TextConversion.h"
#include "mods/TexturePackRules.h"

using namespace vexa;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::wstring path;
    if (fuzz::refusalOf([&] { path = toSafeTexturePath(text); })) return 0;
    fuzz::check(wideToUtf8(path) == text, "the path is the text as written");
    // The file API stops at a NUL and reads \ and : as its own.
    fuzz::check(path.find_first_of(std::wstring(L"\\:\0", 3)) == std::wstring::npos, "no \\, : or NUL");
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = std::min(path.find(L'/', start), path.size());
        std::wstring_view element = std::wstring_view(path).substr(start, end - start);
        fuzz::check(!element.empty() && element != L"." && element != L"..", "no empty, . or .. element");
        // Windows drops these at the end of a name, so another name would open.
        fuzz::check(element.back() != L'.' && element.back() != L' ', "no trailing dot or blank");
        start = end + 1;
    }
    return 0;
}
