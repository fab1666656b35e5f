#pragma once
// One HTTPS GET from the update host, its body within a caller's limit. The
// rules (location, limits, order, messages) are kept apart from the platform
// calls, which sit behind HttpsOperations so that short and failing reads can
// be simulated; the real ones are WinHTTP's.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexa {

class TaskProgress;

struct UrlComponents {
    bool https = false;
    unsigned port = 0;
    std::size_t userNameLength = 0;
    std::size_t passwordLength = 0;
    std::size_t extraInfoLength = 0;  // query and fragment
    std::wstring host;                // as written in the URL
    std::wstring path;
};

class HttpsOperations {
public:
    using Handle = void*;  // null: none could be made
    virtual ~HttpsOperations() = default;
    virtual std::optional<UrlComponents> crackUrl(const std::wstring& url) = 0;
    virtual Handle openSession() = 0;
    virtual void setTimeouts(Handle session) = 0;
    // TLS 1.2 or newer only; false when the system cannot be held to that.
    virtual bool requireModernTls(Handle session) = 0;
    virtual Handle connect(Handle session, const std::wstring& host) = 0;
    virtual Handle openRequest(Handle connection, const std::wstring& path) = 0;
    virtual void disableRedirects(Handle request) = 0;
    virtual bool sendRequest(Handle request) = 0;
    virtual bool receiveResponse(Handle request) = 0;
    // Whether the host's certificate, or one above it, is known to be revoked.
    // A revocation server that cannot be reached tells nothing, and blocks nothing.
    virtual bool certificateRevoked(Handle request) = 0;
    virtual std::optional<std::uint32_t> statusCode(Handle request) = 0;
    // Bytes read into buffer as soon as any have arrived (0 at the end of the
    // body), or nothing on failure.
    virtual std::optional<std::size_t> readData(Handle request, unsigned char* buffer, std::size_t capacity) = 0;
    virtual void closeHandle(Handle handle) = 0;
    // The clock that the transfer's time is measured on.
    virtual std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }
};

// How long the host may take over one resource, counted from the request's
// start, and what the player is told when that is over. WinHTTP's timeouts
// bound each wait; this bounds their sum, so a host that trickles its bytes
// cannot keep the command alive. It is checked once the response has arrived
// and after every read, so it is overrun by at most one bounded wait.
struct TransferTime {
    std::chrono::milliseconds allowed;
    const char* sentence;
};

// WinHTTP, loaded from the system folder.
HttpsOperations& winHttpOperations();

// With progress, each read advances it by the bytes so far, and a cancel
// closes the connection at the next read (TaskCancelled).
std::vector<unsigned char> fetchUpdateResource(const std::string& url, std::uint64_t limit, const TransferTime& time,
                                               HttpsOperations& https = winHttpOperations(),
                                               TaskProgress* progress = nullptr);

} // namespace vexa
