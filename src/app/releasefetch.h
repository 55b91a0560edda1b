#pragma once

#include "release/apprelease.h"
#include "release/httpresponse.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <variant>

class QSslSocket;
class QTimer;

namespace korvel {

// How long a feed fetch may take and how much it may read.
struct FetchLimits {
    // Without a byte arriving (connecting included) for this long, the fetch
    // times out; every chunk of data starts it again.
    std::chrono::milliseconds idle{15000};
    // The whole fetch, however steadily the data trickles in.
    std::chrono::milliseconds total{25000};
    qsizetype maxBytes = maxFeedBytes;
    // The status line and headers: a server could otherwise send headers
    // for ever, steadily enough that no timeout comes first.
    qsizetype maxHeadBytes = qsizetype(32) * 1024;

    // The limits above, shortened by KORVEL_UPDATE_TIMEOUTS_MS="idle,total"
    // when that names smaller positive values (for tests of the diagnostic);
    // it never lengthens them.
    static FetchLimits fromEnvironment();
};

using FetchResult = std::variant<AppRelease, Error>;

// What this copy checks against: the build's update server unless
// KORVEL_UPDATE_ORIGIN names another origin, and the package of the build's
// platform. Throws an Error when either is unusable.
ReleaseRules configuredReleaseRules();

// One HTTPS GET of the feed on a connection of its own (no cache, no
// cookies, no stored credentials, redirects refused), torn down when the
// fetch ends, whatever the outcome. Headers and body are counted while they
// arrive and the fetch fails as soon as either exceeds its limit. `done` is
// called once, from the event loop, with a validated release or the error.
class ReleaseFetch final : public QObject {
public:
    ReleaseFetch(ReleaseRules rules, FetchLimits limits, std::function<void(FetchResult)> done,
                 QObject* parent = nullptr);
    ~ReleaseFetch() override;

    void start();

private:
    void sendRequest();
    void readyRead();
    void disconnected();
    void socketFailed();
    void responded();
    void timedOut();
    void fail(const Error& error);
    void complete(FetchResult result);

    ReleaseRules rules_;
    FetchLimits limits_;
    std::function<void(FetchResult)> done_;
    // A child, so that it goes with the fetch even when the event loop ends
    // before its deferred deletion runs.
    QSslSocket* socket_ = nullptr;
    std::unique_ptr<HttpResponse> response_;
    QTimer* idle_;
    QTimer* total_;
    bool ended_ = false;
};

// Starts a fetch owned by `context`: when the context goes away first, the
// fetch is cancelled and `done` never runs.
void fetchLatest(const ReleaseRules& rules, const FetchLimits& limits, QObject* context,
                 std::function<void(FetchResult)> done);

} // namespace korvel
