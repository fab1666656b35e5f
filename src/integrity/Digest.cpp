#include "integrity/Digest.h"

#include "integrity/Cng.h"
#include "integrity/MessageError.h"

#include <limits>
#include <vector>

namespace vexa {
namespace {

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
    state_->provider = openAlgorithm(algorithm, cng().streams());
    BCRYPT_ALG_HANDLE provider = state_->provider.get();
    state_->digestLength = propertyOf(provider, BCRYPT_HASH_LENGTH);
    state_->object.resize(propertyOf(provider, BCRYPT_OBJECT_LENGTH));
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    if (cng().createHash(provider, &rawHash, state_->object.data(), static_cast<ULONG>(state_->object.size()), nullptr,
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
    UniqueAlgorithmProvider provider = openAlgorithm(algorithm, cng().hashes());
    DWORD digestLength = propertyOf(provider.get(), BCRYPT_HASH_LENGTH);

    std::vector<UCHAR> digest(digestLength, 0);
    // BCryptHash takes a 32-bit length; every input here is far below 4 GiB.
    NTSTATUS status = length > std::numeric_limits<ULONG>::max()
        ? static_cast<NTSTATUS>(-1)
        : cng().hash(provider.get(), nullptr, 0, static_cast<PUCHAR>(const_cast<void*>(bytes)),
                   static_cast<ULONG>(length), digest.data(), digestLength);
    provider.reset();
    if (status < 0) throw MessageError("Cannot calculate checksum.");
    return digest;
}

std::string hexDigest(const void* bytes, std::size_t length, const wchar_t* algorithm) {
    return hexText(digestBytes(bytes, length, algorithm));
}

} // namespace vexa
