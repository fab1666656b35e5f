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
    decltype(&BCryptCreateHash) createHash = systemFunction<decltype(BCryptCreateHash)>(L"bcrypt.dll", "BCryptCreateHash");
    decltype(&BCryptHashData) hashData = systemFunction<decltype(BCryptHashData)>(L"bcrypt.dll", "BCryptHashData");
    decltype(&BCryptFinishHash) finishHash = systemFunction<decltype(BCryptFinishHash)>(L"bcrypt.dll", "BCryptFinishHash");
    decltype(&BCryptDestroyHash) destroyHash =
        systemFunction<decltype(BCryptDestroyHash)>(L"bcrypt.dll", "BCryptDestroyHash");

    bool complete() const { return openAlgorithmProvider && getProperty && hash && closeAlgorithmProvider; }
    bool streams() const { return complete() && createHash && hashData && finishHash && destroyHash; }
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

struct HashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type hash) noexcept { cng().destroyHash(hash); }
};
using UniqueHash = UniqueResource<HashTraits>;

std::string hexText(const std::vector<unsigned char>& digest) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (UCHAR byte : digest) {
        text += hexDigits[byte >> 4];
        text += hexDigits[byte & 0x0f];
    }
    return text;
}

DWORD propertyOf(BCRYPT_ALG_HANDLE provider, const wchar_t* name) {
    DWORD value = 0;
    ULONG received = 0;
    if (cng().getProperty(provider, name, reinterpret_cast<PUCHAR>(&value), sizeof value, &received, 0) < 0)
        throw MessageError("Cannot prepare checksum.");
    return value;
}

} // namespace

// Declared in the order provider, object, hash: the hash goes first.
struct DigestStream::State {
    UniqueAlgorithmProvider provider;
    std::vector<UCHAR> object;
    UniqueHash hash;
    DWORD digestLength = 0;
};

DigestStream::DigestStream(const wchar_t* algorithm) : state_(std::make_unique<State>()) {
    const Cng& api = cng();
    BCRYPT_ALG_HANDLE rawProvider = nullptr;
    if (!api.streams() || api.openAlgorithmProvider(&rawProvider, algorithm, nullptr, 0) < 0)
        throw MessageError("Windows checksum service is unavailable.");
    state_->provider.reset(rawProvider);
    state_->digestLength = propertyOf(rawProvider, BCRYPT_HASH_LENGTH);
    state_->object.resize(propertyOf(rawProvider, BCRYPT_OBJECT_LENGTH));
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    if (api.createHash(rawProvider, &rawHash, state_->object.data(), static_cast<ULONG>(state_->object.size()), nullptr,
                       0, 0) < 0)
        throw MessageError("Cannot prepare checksum.");
    state_->hash.reset(rawHash);
}

DigestStream::~DigestStream() = default;

void DigestStream::add(const void* bytes, std::size_t length) {
    if (length > std::numeric_limits<ULONG>::max() ||
        cng().hashData(state_->hash.get(), static_cast<PUCHAR>(const_cast<void*>(bytes)), static_cast<ULONG>(length), 0) < 0)
        throw MessageError("Cannot calculate checksum.");
}

std::string DigestStream::hexFinish() {
    std::vector<UCHAR> digest(state_->digestLength, 0);
    if (cng().finishHash(state_->hash.get(), digest.data(), state_->digestLength, 0) < 0)
        throw MessageError("Cannot calculate checksum.");
    return hexText(digest);
}

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
    return hexText(digestBytes(bytes, length, algorithm));
}

} // namespace vexa
