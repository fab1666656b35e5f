#pragma once
// The launcher's windows are laid out in 96-DPI pixels and scaled to the DPI
// of the monitor they are on, font included.
#include "integrity/UniqueHandle.h"

namespace vexa {

struct GdiFontTraits {  // CreateFontIndirectW
    using Type = void*;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type font) noexcept;
};
using UniqueGdiFont = UniqueResource<GdiFontTraits>;

int scaledToDpi(int value, unsigned dpi);
// The stock GUI font made for dpi; empty at the system's DPI, where the stock
// font itself is right.
UniqueGdiFont scaledGuiFont(unsigned dpi);

} // namespace vexa
