#pragma once
// The player's verified cartridge image: the file stays open with read-only
// sharing for as long as the image is held, so nobody can change or delete it
// during a session.
#include "integrity/FileIo.h"
#include "integrity/UniqueHandle.h"

#include <string>

namespace vexa {

constexpr std::size_t cartridgeImageBytes = 12582912;  // 12 MiB, the US release

class CartridgeImage {
public:
    CartridgeImage() = default;
    CartridgeImage(UniqueFile file, ByteBuffer bytes);
    CartridgeImage(CartridgeImage&&) noexcept = default;
    CartridgeImage& operator=(CartridgeImage&& other) noexcept;
    ~CartridgeImage();

    bool held() const { return file_.valid(); }
    const ByteBuffer& bytes() const { return bytes_; }
    void reset();  // closes the file, then frees the bytes

private:
    UniqueFile file_;
    ByteBuffer bytes_;
};

CartridgeImage openVerifiedCartridgeImage(const std::wstring& path);
// Converts the buffer to native order in place and checks its SHA-1.
void verifyCartridgeContent(ByteBuffer& image);

} // namespace vexa
