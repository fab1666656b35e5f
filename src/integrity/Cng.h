#pragma once
// The CNG calls of the launcher (digests and the release signature). bcrypt.dll
// is not a KnownDLL: every entry point is reached through the system folder only.
#include "integrity/UniqueHandle.h"

#include <windows.h>
#include <bcrypt.h>

namespace vexa {

struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithmProvider;
    decltype(&BCryptCloseAlgorithmProvider) closeAlgorithmProvider;
    decltype(&BCryptGetProperty) getProperty;
    decltype(&BCryptHash) hash;
    decltype(&BCryptCreateHash) createHash;
    decltype(&BCryptHashData) hashData;
    decltype(&BCryptFinishHash) finishHash;
    decltype(&BCryptDestroyHash) destroyHash;
    decltype(&BCryptImportKeyPair) importKeyPair;
    decltype(&BCryptVerifySignature) verifySignature;
    decltype(&BCryptDestroyKey) destroyKey;

    bool hashes() const { return openAlgorithmProvider && closeAlgorithmProvider && getProperty && hash; }
    bool streams() const { return hashes() && createHash && hashData && finishHash && destroyHash; }
    bool verifies() const { return hashes() && importKeyPair && verifySignature && destroyKey; }
};
const Cng& cng();

struct AlgorithmProviderTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type provider) noexcept { cng().closeAlgorithmProvider(provider, 0); }
};
using UniqueAlgorithmProvider = UniqueResource<AlgorithmProviderTraits>;

// The algorithm's provider; "Windows checksum service is unavailable." when
// ready says the calls needed are missing or the provider cannot be opened.
UniqueAlgorithmProvider openAlgorithm(const wchar_t* algorithm, bool ready);

} // namespace vexa
