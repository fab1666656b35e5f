#include "integrity/CartridgeByteOrder.h"

#include <utility>

namespace vexa {

void toNativeByteOrder(std::span<unsigned char> image) {
    if (image.size() < 4) return;
    auto startsWith = [&](unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
        return image[0] == a && image[1] == b && image[2] == c && image[3] == d;
    };
    if (startsWith(0x37, 0x80, 0x40, 0x12)) {
        for (std::size_t at = 0; at + 1 < image.size(); at += 2) std::swap(image[at], image[at + 1]);
    } else if (startsWith(0x40, 0x12, 0x37, 0x80)) {
        for (std::size_t at = 0; at + 3 < image.size(); at += 4) {
            std::swap(image[at], image[at + 3]);
            std::swap(image[at + 1], image[at + 2]);
        }
    }
}

} // namespace vexa
