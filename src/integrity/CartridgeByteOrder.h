#pragma once
#include <span>

namespace vexa {

// Brings a cartridge dump into native order (header 80 37 12 40), in place,
// recognising the pair-swapped (37 80 40 12) and little-endian word
// (40 12 37 80) dumps by their first four bytes. Anything else is left as it is.
void toNativeByteOrder(std::span<unsigned char> image);

} // namespace vexa
