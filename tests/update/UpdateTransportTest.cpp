#include "support/TestSupport.h"
#include "update/UpdateHost.h"
#include "update/UpdateTransport.h"

#include <cstring>

namespace {

// WinHTTP as a script: which step fails, what the reads deliver, and the order
// in which handles were closed.
struct ScriptedHttps : HttpsOperations {
    std::optional<UrlComponents> url = UrlComponents{true, 443, 0, 0, 0, std::wstring(updateHost), L"/feed"};
    std::string failAt;  // "session", "tls", "connect", "request", "send", "receive", "revoked"
    std::optional<std::uint32_t> status = 200;
    std::vector<std::optional<std::size_t>> reads;  // in order; nothing left means the end
    std::vector<std::string> closed;
    bool sessionOpened = false;
    char session, connection, request;
    std::chrono::steady_clock::time_point clock;
    std::chrono::seconds stepTakes{0};  // the response and each read, on the clock above

    std::optional<UrlComponents> crackUrl(const std::wstring&) override { return url; }
    Handle openSession() override {
        sessionOpened = true;
        return failAt == "session" ? nullptr : &session;
    }
    void setTimeouts(Handle) override {}
    bool requireModernTls(Handle) override { return failAt != "tls"; }
    Handle connect(Handle, const std::wstring& host) override {
        EXPECT_EQ(host, updateHost);
        return failAt == "connect" ? nullptr : &connection;
    }
    Handle openRequest(Handle, const std::wstring&) override { return failAt == "request" ? nullptr : &request; }
    void disableRedirects(Handle) override {}
    bool sendRequest(Handle) override { return failAt != "send"; }
    bool receiveResponse(Handle) override {
        clock += stepTakes;
        return failAt != "receive";
    }
    bool certificateRevoked(Handle) override { return failAt == "revoked"; }
    std::optional<std::uint32_t> statusCode(Handle) override { return status; }
    std::optional<std::size_t> readData(Handle, unsigned char* buffer, std::size_t capacity) override {
        EXPECT_EQ(capacity, 65536u);
        clock += stepTakes;
        if (reads.empty()) return 0;
        std::optional<std::size_t> next = reads.front();
        reads.erase(reads.begin());
        if (next) std::memset(buffer, 'b', *next);
        return next;
    }
    void closeHandle(Handle handle) override {
        closed.push_back(handle == &session ? "session" : handle == &connection ? "connection" : "request");
    }
    std::chrono::steady_clock::time_point now() override { return clock; }
};

using Closed = std::vector<std::string>;
const Closed all{"request", "connection", "session"};

} // namespace

TEST(UpdateTransport, EveryFailureClosesWhatWasOpenedInOrder) {
    struct Case {
        std::string failAt;
        std::optional<std::uint32_t> status;
        std::vector<std::optional<std::size_t>> reads;
        std::uint64_t limit;
        std::string outcome;  // the body's size, or the failure
        Closed closed;
        int stepSeconds = 0;        // how long the response and each read take
        int allowedSeconds = 3600;  // the host's time for the resource
    };
    using Reads = std::vector<std::optional<std::size_t>>;
    const std::string outOfTime = "the caller's sentence for a host out of time";
    for (const Case& c : std::vector<Case>{
             {"session", 200, {}, 10, "Update connection failed", {}},
             {"tls", 200, {}, 10, "Update connection failed", {"session"}},  // no TLS below 1.2, nothing sent
             {"connect", 200, {}, 10, "Update connection failed", {"session"}},
             {"request", 200, {}, 10, "Update connection failed", {"connection", "session"}},
             {"send", 200, {}, 10, "Cannot reach the Relicade update server.", all},
             {"receive", 200, {}, 10, "Cannot reach the Relicade update server.", all},
             {"revoked", 200, {}, 10, "Cannot reach the Relicade update server.", all},
             {"", std::nullopt, {}, 10, "Relicade update is unavailable. Try again later.", all},
             {"", 200, Reads{1000, std::nullopt}, 5000, "Launcher update download interrupted.", all},
             {"", 200, Reads{65536, 1}, 65536, "Launcher update exceeds its declared size.", all},
             {"", 200, Reads{1000, 3, 65536}, 66539, "66539", all},
             // A host that trickles: every wait within WinHTTP's bounds, their sum not.
             {"", 200, Reads{1024, 1024, 1024, 1024}, 5000, outOfTime, all, 10, 30},
             {"", 200, Reads{1024, 1024}, 5000, "2048", all, 10, 31},
             {"", 200, Reads{1024}, 5000, outOfTime, all, 31, 30}}) {
        ScriptedHttps https;
        https.failAt = c.failAt;
        https.status = c.status;
        https.reads = c.reads;
        https.stepTakes = std::chrono::seconds(c.stepSeconds);
        TransferTime time{std::chrono::seconds(c.allowedSeconds), outOfTime.c_str()};
        EXPECT_EQ(outcomeOf([&] { return fetchUpdateResource("https://x/", c.limit, time, https).size(); }), c.outcome)
            << c.failAt << " " << c.limit;
        EXPECT_EQ(https.closed, c.closed) << c.failAt << " " << c.limit;
    }
}
