#include "integrity/WindowScale.h"

#include <windows.h>

namespace vexa {
namespace {
constexpr int designDpi = 96;
}

void GdiFontTraits::close(Type font) noexcept { DeleteObject(static_cast<HFONT>(font)); }

int scaledToDpi(int value, unsigned dpi) { return MulDiv(value, static_cast<int>(dpi), designDpi); }

UniqueGdiFont scaledGuiFont(unsigned dpi) {
    UINT systemDpi = GetDpiForSystem();
    if (dpi == systemDpi) return {};
    // The stock font is made for the system DPI.
    LOGFONTW description{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
    description.lfHeight = MulDiv(description.lfHeight, static_cast<int>(dpi), static_cast<int>(systemDpi));
    return UniqueGdiFont(CreateFontIndirectW(&description));
}

} // namespace vexa
