#include "integrity/CartridgeImage.h"

#include "integrity/CartridgeByteOrder.h"
#include "integrity/Digest.h"
#include "integrity/MessageError.h"

#include <windows.h>

namespace vexa {
namespace {
// SHA-1 of the supported image in native order; chosen at build time.
constexpr const char* expectedCartridgeSha1 = VEXA_CARTRIDGE_SHA1;
}

CartridgeImage::CartridgeImage(UniqueFile file, ByteBuffer bytes)
    : file_(std::move(file)), bytes_(std::move(bytes)) {}

CartridgeImage& CartridgeImage::operator=(CartridgeImage&& other) noexcept {
    if (this != &other) {
        reset();
        file_ = std::move(other.file_);
        bytes_ = std::move(other.bytes_);
    }
    return *this;
}

CartridgeImage::~CartridgeImage() { reset(); }

void CartridgeImage::reset() {
    file_.reset();
    ByteBuffer().swap(bytes_);
}

CartridgeImage openVerifiedCartridgeImage(const std::wstring& path) {
    // FILE_SHARE_READ alone: other readers are fine, writers and deleters are
    // refused while the image is held (and a file someone is writing fails here).
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw MessageError("The saved ROM is missing or unreadable. Select it again.");
    const char* wrongImage = "Select the original US 12 MiB Vexa 3711 N64 ROM.";
    if (GetFileType(file.get()) != FILE_TYPE_DISK) throw MessageError(wrongImage);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart != static_cast<LONGLONG>(cartridgeImageBytes))
        throw MessageError(wrongImage);

    ByteBuffer bytes(cartridgeImageBytes, 0);
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
        got != bytes.size())
        throw MessageError("The selected ROM could not be read completely.");
    verifyCartridgeContent(bytes);
    return CartridgeImage(std::move(file), std::move(bytes));
}

void verifyCartridgeContent(ByteBuffer& image) {
    toNativeByteOrder(image);
    std::string digest = hexDigest(image.data(), image.size(), L"SHA1");
    if (digest.size() != 40 || digest != expectedCartridgeSha1)
        throw MessageError("This ROM is unsupported or has been modified. Select the original US release.");
}

} // namespace vexa
