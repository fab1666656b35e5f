#include "update/UpdateTransport.h"

#include "integrity/MessageError.h"
#include "integrity/TaskProgress.h"
#include "integrity/TextConversion.h"
#include "update/UpdateHost.h"

#include <algorithm>
#include <utility>

namespace vexa {
namespace {

constexpr std::size_t readBufferBytes = 65536;
constexpr std::uint64_t maxReservedBytes = 67108864;  // the largest build a feed may announce

// Closes its handle through the operations that made it. Declared in the
// order session, connection, request, they close in the reverse order on
// every way out.
class HttpsHandle {
public:
    HttpsHandle(HttpsOperations& https, HttpsOperations::Handle handle) : https_(https), handle_(handle) {}
    ~HttpsHandle() {
        if (handle_) https_.closeHandle(handle_);
    }
    HttpsHandle(const HttpsHandle&) = delete;
    HttpsHandle& operator=(const HttpsHandle&) = delete;
    HttpsOperations::Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HttpsOperations& https_;
    HttpsOperations::Handle handle_;
};

bool isTrustedLocation(const std::optional<UrlComponents>& url) {
    // A cracker that leaves a fragment in the path (Wine's does) must not let
    // one through: the path may hold neither a query nor a fragment either.
    return url && url->https && url->port == 443 && url->userNameLength == 0 && url->passwordLength == 0 &&
           url->extraInfoLength == 0 && url->path.find_first_of(L"?#") == std::wstring::npos &&
           url->host == updateHost;
}

} // namespace

std::vector<unsigned char> fetchUpdateResource(const std::string& url, std::uint64_t limit, const TransferTime& time,
                                               HttpsOperations& https, TaskProgress* progress) {
    std::optional<UrlComponents> components = https.crackUrl(utf8ToWide(url));
    if (!isTrustedLocation(components)) throw MessageError("Untrusted launcher update URL.");
    const auto deadline = https.now() + time.allowed;
    auto requireTimeLeft = [&] {
        if (progress) progress->throwIfCancelled();
        if (https.now() >= deadline) throw MessageError(time.sentence);
    };

    const char* connectionFailed = "Update connection failed";
    HttpsHandle session(https, https.openSession());
    if (!session) throw MessageError(connectionFailed);
    https.setTimeouts(session.get());
    if (!https.requireModernTls(session.get())) throw MessageError(connectionFailed);
    // The constant, not the URL's spelling of it, is what gets connected.
    HttpsHandle connection(https, https.connect(session.get(), std::wstring(updateHost)));
    if (!connection) throw MessageError(connectionFailed);
    HttpsHandle request(https, https.openRequest(connection.get(), components->path));
    if (!request) throw MessageError(connectionFailed);
    https.disableRedirects(request.get());

    if (!https.sendRequest(request.get()) || !https.receiveResponse(request.get()) ||
        https.certificateRevoked(request.get()))
        throw MessageError("Cannot reach the Relicade update server.");
    requireTimeLeft();
    // Redirects end here too: only 200 is success.
    if (https.statusCode(request.get()) != 200u) throw MessageError("Relicade update is unavailable. Try again later.");

    // Room for the whole announced body at once: growing a 64 MiB array by
    // doubling would copy it over and over.
    std::vector<unsigned char> body;
    body.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(limit, maxReservedBytes)));
    std::vector<unsigned char> buffer(readBufferBytes);
    while (true) {
        std::optional<std::size_t> got = https.readData(request.get(), buffer.data(), buffer.size());
        if (!got) throw MessageError("Launcher update download interrupted.");
        if (*got == 0) break;
        if (body.size() + *got > limit) throw MessageError("Launcher update exceeds its declared size.");
        body.insert(body.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*got));
        if (progress) progress->advance(body.size());
        requireTimeLeft();
    }
    return body;
}

} // namespace vexa
