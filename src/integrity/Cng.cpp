#include "integrity/Cng.h"

#include "integrity/MessageError.h"
#include "integrity/SystemLibrary.h"

namespace vexa {
namespace {

template <typename Function>
Function* bcrypt(const char* name) {
    return systemFunction<Function>(L"bcrypt.dll", name);
}

} // namespace

const Cng& cng() {
    static const Cng functions{
        bcrypt<decltype(BCryptOpenAlgorithmProvider)>("BCryptOpenAlgorithmProvider"),
        bcrypt<decltype(BCryptCloseAlgorithmProvider)>("BCryptCloseAlgorithmProvider"),
        bcrypt<decltype(BCryptGetProperty)>("BCryptGetProperty"),
        bcrypt<decltype(BCryptHash)>("BCryptHash"),
        bcrypt<decltype(BCryptCreateHash)>("BCryptCreateHash"),
        bcrypt<decltype(BCryptHashData)>("BCryptHashData"),
        bcrypt<decltype(BCryptFinishHash)>("BCryptFinishHash"),
        bcrypt<decltype(BCryptDestroyHash)>("BCryptDestroyHash"),
        bcrypt<decltype(BCryptImportKeyPair)>("BCryptImportKeyPair"),
        bcrypt<decltype(BCryptVerifySignature)>("BCryptVerifySignature"),
        bcrypt<decltype(BCryptDestroyKey)>("BCryptDestroyKey")};
    return functions;
}

UniqueAlgorithmProvider openAlgorithm(const wchar_t* algorithm, bool ready) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    if (!ready || cng().openAlgorithmProvider(&provider, algorithm, nullptr, 0) < 0)
        throw MessageError("Windows checksum service is unavailable.");
    return UniqueAlgorithmProvider(provider);
}

} // namespace vexa
