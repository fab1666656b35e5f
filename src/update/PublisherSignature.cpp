#include "update/PublisherSignature.h"

#include "integrity/Cng.h"
#include "integrity/Digest.h"
#include "integrity/MessageError.h"

#include <cstring>
#include <vector>

namespace vexa {
namespace {

struct KeyTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type key) noexcept { cng().destroyKey(key); }
};

} // namespace

void requirePublisherSignature(const UpdateRelease& release) {
    UniqueAlgorithmProvider provider = openAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM, cng().verifies());

    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + publisherKeyPoint.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, publisherKeyPoint.data(), publisherKeyPoint.size());
    BCRYPT_KEY_HANDLE rawKey = nullptr;
    if (cng().importKeyPair(provider.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &rawKey, blob.data(),
                          static_cast<ULONG>(blob.size()), 0) < 0)
        throw MessageError("Windows checksum service is unavailable.");
    UniqueResource<KeyTraits> key(rawKey);

    std::string statement = releaseStatement(release);
    std::vector<unsigned char> digest = digestBytes(statement.data(), statement.size(), L"SHA256");
    // Anything but success, a signature of another length included, is a refusal.
    NTSTATUS verified = cng().verifySignature(key.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                            const_cast<PUCHAR>(release.signature.data()),
                                            static_cast<ULONG>(release.signature.size()), 0);
    if (verified != 0) throw MessageError("Launcher update is not signed by the publisher.");
}

} // namespace vexa
