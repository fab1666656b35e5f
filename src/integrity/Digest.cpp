#include "integrity/Digest.h"

#include "integrity/MessageError.h"
#include "integrity/SystemLibrary.h"
#include "integrity/UniqueHandle.h"

#include <limits>
#include <vector>
#include <windows.h>
#include <bcrypt.h>

namespace vexa {
namespace {

// bcrypt.dll is not a KnownDLL: it is reached through the system folder only.
struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithmProvider =
        systemFunction<decltype(BCryptOpenAlgorithmProvider)>(L"bcrypt.dll", "BCryptOpenAlgorithmProvider");
    decltype(&BCryptGetProperty) getProperty =
        systemFunction<decltype(BCryptGetProperty)>(L"bcrypt.dll", "BCryptGetProperty");
    decltype(&BCryptHash) hash = systemFunction<decltype(BCryptHash)>(L"bcrypt.dll", "BCryptHash");
    decltype(&BCryptCloseAlgorithmProvider) closeAlgorithmProvider =
        systemFunction<decltype(BCryptCloseAlgorithmProvider)>(L"bcrypt.dll", "BCryptCloseAlgorithmProvider");

    bool complete() const { return openAlgorithmProvider && getProperty && hash && closeAlgorithmProvider; }
};

const Cng& cng() {
    static const Cng functions;
    return functions;
}

struct AlgorithmProviderTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type provider) noexcept { cng().closeAlgorithmProvider(provider, 0); }
};
using UniqueAlgorithmProvider = UniqueResource<AlgorithmProviderTraits>;

} // namespace

std::vector<unsigned char> digestBytes(const void* bytes, std::size_t length, const wchar_t* algorithm) {
    const Cng& api = cng();
    BCRYPT_ALG_HANDLE rawProvider = nullptr;
    if (!api.complete() || api.openAlgorithmProvider(&rawProvider, algorithm, nullptr, 0) < 0)
        throw MessageError("Windows checksum service is unavailable.");
    UniqueAlgorithmProvider provider(rawProvider);

    DWORD digestLength = 0;
    ULONG received = 0;
    if (api.getProperty(provider.get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&digestLength),
                        sizeof digestLength, &received, 0) < 0)
        throw MessageError("Cannot prepare checksum.");

    std::vector<UCHAR> digest(digestLength, 0);
    // BCryptHash takes a 32-bit length; every input here is far below 4 GiB.
    NTSTATUS status = length > std::numeric_limits<ULONG>::max()
        ? static_cast<NTSTATUS>(-1)
        : api.hash(provider.get(), nullptr, 0, static_cast<PUCHAR>(const_cast<void*>(bytes)),
                   static_cast<ULONG>(length), digest.data(), digestLength);
    provider.reset();
    if (status < 0) throw MessageError("Cannot calculate checksum.");
    return digest;
}

std::string hexDigest(const void* bytes, std::size_t length, const wchar_t* algorithm) {
    std::vector<unsigned char> digest = digestBytes(bytes, length, algorithm);
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (unsigned char byte : digest) {
        text += hexDigits[byte >> 4];
        text += hexDigits[byte & 0x0f];
    }
    return text;
}

} // namespace vexa
