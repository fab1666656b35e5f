#include "update/PublisherSignature.h"

#include "integrity/Digest.h"
#include "integrity/MessageError.h"
#include "integrity/SystemLibrary.h"
#include "integrity/UniqueHandle.h"

#include <cstring>
#include <vector>
#include <windows.h>
#include <bcrypt.h>

namespace vexa {
namespace {

// bcrypt.dll is not a KnownDLL: it is reached through the system folder only.
struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithmProvider =
        systemFunction<decltype(BCryptOpenAlgorithmProvider)>(L"bcrypt.dll", "BCryptOpenAlgorithmProvider");
    decltype(&BCryptImportKeyPair) importKeyPair =
        systemFunction<decltype(BCryptImportKeyPair)>(L"bcrypt.dll", "BCryptImportKeyPair");
    decltype(&BCryptVerifySignature) verifySignature =
        systemFunction<decltype(BCryptVerifySignature)>(L"bcrypt.dll", "BCryptVerifySignature");
    decltype(&BCryptDestroyKey) destroyKey = systemFunction<decltype(BCryptDestroyKey)>(L"bcrypt.dll", "BCryptDestroyKey");
    decltype(&BCryptCloseAlgorithmProvider) closeAlgorithmProvider =
        systemFunction<decltype(BCryptCloseAlgorithmProvider)>(L"bcrypt.dll", "BCryptCloseAlgorithmProvider");

    bool complete() const {
        return openAlgorithmProvider && importKeyPair && verifySignature && destroyKey && closeAlgorithmProvider;
    }
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
struct KeyTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type key) noexcept { cng().destroyKey(key); }
};

} // namespace

void requirePublisherSignature(const UpdateRelease& release) {
    const char* unavailable = "Windows checksum service is unavailable.";
    const Cng& api = cng();
    BCRYPT_ALG_HANDLE rawProvider = nullptr;
    if (!api.complete() || api.openAlgorithmProvider(&rawProvider, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0)
        throw MessageError(unavailable);
    UniqueResource<AlgorithmProviderTraits> provider(rawProvider);

    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + publisherKeyPoint.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, publisherKeyPoint.data(), publisherKeyPoint.size());
    BCRYPT_KEY_HANDLE rawKey = nullptr;
    if (api.importKeyPair(provider.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &rawKey, blob.data(),
                          static_cast<ULONG>(blob.size()), 0) < 0)
        throw MessageError(unavailable);
    UniqueResource<KeyTraits> key(rawKey);

    std::string statement = releaseStatement(release);
    std::vector<unsigned char> digest = digestBytes(statement.data(), statement.size(), L"SHA256");
    // Anything but success, a signature of another length included, is a refusal.
    NTSTATUS verified = api.verifySignature(key.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                            const_cast<PUCHAR>(release.signature.data()),
                                            static_cast<ULONG>(release.signature.size()), 0);
    if (verified != 0) throw MessageError("Launcher update is not signed by the publisher.");
}

} // namespace vexa
