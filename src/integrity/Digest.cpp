#include "integrity/Digest.h"

#include "integrity/MessageError.h"
#include "integrity/UniqueHandle.h"

#include <limits>
#include <vector>
#include <windows.h>
#include <bcrypt.h>

namespace vexa {
namespace {

struct AlgorithmProviderTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type provider) noexcept { BCryptCloseAlgorithmProvider(provider, 0); }
};
using UniqueAlgorithmProvider = UniqueResource<AlgorithmProviderTraits>;

} // namespace

std::string hexDigest(const void* bytes, std::size_t length, const wchar_t* algorithm) {
    BCRYPT_ALG_HANDLE rawProvider = nullptr;
    if (BCryptOpenAlgorithmProvider(&rawProvider, algorithm, nullptr, 0) < 0)
        throw MessageError("Windows checksum service is unavailable.");
    UniqueAlgorithmProvider provider(rawProvider);

    DWORD digestLength = 0;
    ULONG received = 0;
    if (BCryptGetProperty(provider.get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&digestLength),
                          sizeof digestLength, &received, 0) < 0)
        throw MessageError("Cannot prepare checksum.");

    std::vector<UCHAR> digest(digestLength, 0);
    // BCryptHash takes a 32-bit length; every input here is far below 4 GiB.
    NTSTATUS status = length > std::numeric_limits<ULONG>::max()
        ? static_cast<NTSTATUS>(-1)
        : BCryptHash(provider.get(), nullptr, 0,
                     static_cast<PUCHAR>(const_cast<void*>(bytes)), static_cast<ULONG>(length),
                     digest.data(), digestLength);
    provider.reset();
    if (status < 0) throw MessageError("Cannot calculate checksum.");

    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (UCHAR byte : digest) {
        text += hexDigits[byte >> 4];
        text += hexDigits[byte & 0x0f];
    }
    return text;
}

} // namespace vexa
