// The chain's parameters with their time limit for revocation servers.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "integrity/SystemLibrary.h"
#include "update/UpdateHost.h"
#include "update/UpdateTransport.h"

#include <algorithm>
#include <initializer_list>
#include <windows.h>
#include <winhttp.h>
#include <wincrypt.h>

namespace vexa {
namespace {

// winhttp.dll is not a KnownDLL: it is reached through the system folder only.
template <typename Function>
Function* winHttp(const char* name) {
    return systemFunction<Function>(L"winhttp.dll", name);
}

// crypt32.dll is not a KnownDLL either.
template <typename Function>
Function* crypt32(const char* name) {
    return systemFunction<Function>(L"crypt32.dll", name);
}

class WinHttp : public HttpsOperations {
public:
    std::optional<UrlComponents> crackUrl(const std::wstring& url) override {
        static auto crack = winHttp<decltype(WinHttpCrackUrl)>("WinHttpCrackUrl");
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        // Non-zero lengths with null pointers: the components point into url.
        parts.dwHostNameLength = parts.dwUserNameLength = parts.dwPasswordLength = static_cast<DWORD>(-1);
        parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
        if (!crack || !crack(url.c_str(), 0, 0, &parts)) return std::nullopt;
        UrlComponents components;
        components.https = parts.nScheme == INTERNET_SCHEME_HTTPS;
        components.port = parts.nPort;
        components.userNameLength = parts.dwUserNameLength;
        components.passwordLength = parts.dwPasswordLength;
        components.extraInfoLength = parts.dwExtraInfoLength;
        if (parts.lpszHostName) components.host.assign(parts.lpszHostName, parts.dwHostNameLength);
        if (parts.lpszUrlPath) components.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
        return components;
    }

    Handle openSession() override {
        static auto open = winHttp<decltype(WinHttpOpen)>("WinHttpOpen");
        std::wstring agent(updateUserAgent.begin(), updateUserAgent.end());
        return open ? open(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0)
                    : nullptr;
    }

    void setTimeouts(Handle session) override {
        static auto set = winHttp<decltype(WinHttpSetTimeouts)>("WinHttpSetTimeouts");
        static auto setOption = winHttp<decltype(WinHttpSetOption)>("WinHttpSetOption");
        set(session, 5000, 5000, 15000, 15000);
        // The wait for the response headers has a timeout of its own (90 s by
        // default); without it a host that never answers would outlast the
        // 15 s receive bound.
        DWORD receiveResponse = 15000;
        setOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receiveResponse, sizeof receiveResponse);
    }

    bool requireModernTls(Handle session) override {
        static auto setOption = winHttp<decltype(WinHttpSetOption)>("WinHttpSetOption");
        // TLS 1.3 where the system knows it; a system that does not refuses the flag.
        for (DWORD protocols : std::initializer_list<DWORD>{WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 |
                                                                 WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3,
                                                             WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2})
            if (setOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) return true;
        return false;
    }

    Handle connect(Handle session, const std::wstring& host) override {
        static auto connect = winHttp<decltype(WinHttpConnect)>("WinHttpConnect");
        return connect(session, host.c_str(), INTERNET_DEFAULT_HTTPS_PORT, 0);
    }

    Handle openRequest(Handle connection, const std::wstring& path) override {
        static auto open = winHttp<decltype(WinHttpOpenRequest)>("WinHttpOpenRequest");
        return open(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                    WINHTTP_FLAG_SECURE);
    }

    void disableRedirects(Handle request) override {
        static auto setOption = winHttp<decltype(WinHttpSetOption)>("WinHttpSetOption");
        DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        setOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
    }

    bool sendRequest(Handle request) override {
        static auto send = winHttp<decltype(WinHttpSendRequest)>("WinHttpSendRequest");
        return send(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    }

    bool receiveResponse(Handle request) override {
        static auto receive = winHttp<decltype(WinHttpReceiveResponse)>("WinHttpReceiveResponse");
        return receive(request, nullptr);
    }

    bool certificateRevoked(Handle request) override {
        static auto query = winHttp<decltype(WinHttpQueryOption)>("WinHttpQueryOption");
        static auto chainOf = crypt32<decltype(CertGetCertificateChain)>("CertGetCertificateChain");
        static auto freeChain = crypt32<decltype(CertFreeCertificateChain)>("CertFreeCertificateChain");
        static auto freeCertificate = crypt32<decltype(CertFreeCertificateContext)>("CertFreeCertificateContext");
        if (!chainOf || !freeChain || !freeCertificate) return false;
        PCCERT_CONTEXT certificate = nullptr;
        DWORD size = sizeof certificate;
        if (!query(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size) || !certificate) return false;
        CERT_CHAIN_PARA parameters{};
        parameters.cbSize = sizeof parameters;
        parameters.dwUrlRetrievalTimeout = 5000;  // a revocation server that does not answer costs seconds, not minutes
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        bool revoked = chainOf(nullptr, certificate, nullptr, certificate->hCertStore, &parameters,
                               CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT,
                               nullptr, &chain) &&
                       (chain->TrustStatus.dwErrorStatus & CERT_TRUST_IS_REVOKED);
        if (chain) freeChain(chain);
        freeCertificate(certificate);
        return revoked;
    }

    std::optional<std::uint32_t> statusCode(Handle request) override {
        static auto query = winHttp<decltype(WinHttpQueryHeaders)>("WinHttpQueryHeaders");
        DWORD status = 0, size = sizeof status;
        if (!query(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                   &status, &size, WINHTTP_NO_HEADER_INDEX))
            return std::nullopt;
        return status;
    }

    // Only what has arrived is asked for: a read of a whole buffer may wait
    // until the buffer is full (Wine's does), so a host that trickles its bytes
    // would hold one read for many minutes, each of its waits within the
    // receive timeout. Waiting for data to arrive is bounded by that timeout.
    std::optional<std::size_t> readData(Handle request, unsigned char* buffer, std::size_t capacity) override {
        static auto available = winHttp<decltype(WinHttpQueryDataAvailable)>("WinHttpQueryDataAvailable");
        static auto read = winHttp<decltype(WinHttpReadData)>("WinHttpReadData");
        DWORD arrived = 0;
        if (!available(request, &arrived)) return std::nullopt;
        if (arrived == 0) return 0;  // the end of the body
        DWORD got = 0;
        if (!read(request, buffer, static_cast<DWORD>(std::min<std::size_t>(arrived, capacity)), &got)) return std::nullopt;
        return got;
    }

    void closeHandle(Handle handle) override {
        static auto close = winHttp<decltype(WinHttpCloseHandle)>("WinHttpCloseHandle");
        close(handle);
    }
};

} // namespace

HttpsOperations& winHttpOperations() {
    static WinHttp operations;
    return operations;
}

} // namespace vexa
