#pragma once

#include "platform/error.h"
#include "updateserver.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace korvel {

// How a release relates to the installed copy, in this order.
enum class Availability {
    available,      // newer, and it runs on this system
    current,        // the installed version is not older
    requiresSystem, // newer, but it needs a newer system
};

// "available", "current" or "requiresSystem", as the diagnostic prints it.
QString availabilityName(Availability availability);

// The URL-loading error codes an update check fails with.
namespace urlError {
inline constexpr int unknown = -1;
inline constexpr int cancelled = -999;
inline constexpr int badURL = -1000;
inline constexpr int timedOut = -1001;
inline constexpr int cannotFindHost = -1003;
inline constexpr int cannotConnectToHost = -1004;
inline constexpr int networkConnectionLost = -1005;
inline constexpr int notConnectedToInternet = -1009;
inline constexpr int badServerResponse = -1011;
inline constexpr int cannotParseResponse = -1017;
inline constexpr int secureConnectionFailed = -1200;

// The failure with the code's standard text; `detail`, when given, says
// what exactly was wrong and follows the text in brackets.
Error make(int code, const QString& detail = {});
} // namespace urlError

// A feed body that is not the release record (bad JSON, a missing field, a
// wrong type, an address that does not parse).
Error releaseDecodingError(const QString& detail);

// The largest feed body accepted, in bytes.
inline constexpr qsizetype maxFeedBytes = 256000;
// Release notes may hold at most this many user-perceived characters.
inline constexpr qsizetype maxNotesCharacters = 19999;

// User-perceived characters (grapheme clusters): "é" written as e plus a
// combining accent, or an emoji with modifiers, is one.
qsizetype characterCount(const QString& text);

// What a release must satisfy to be offered: the server its package lies on
// and the package this build installs.
struct ReleaseRules {
    UpdateServer server;
    PackageTarget package;
};

// One release as the update feed announces it. Plain data: decoding checks
// only the shape, `validate` every rule.
struct AppRelease {
    QString version;
    QUrl downloadURL;
    QString notes;
    QString minimumSystemVersion;
    QString architecture;

    // Every field is required and must be a string; the download address
    // must parse and be written the way it is read back (lower-case scheme
    // and host, no needless percent-encoding), so that what is checked is
    // what gets opened. Throws releaseDecodingError.
    static AppRelease decode(const QByteArray& json);

    // Throws urlError cannotParseResponse when any rule fails.
    void validate(const ReleaseRules& rules) const;

    // Validates, then compares with the installed version and the running
    // system's version; an invalid one fails with cannotParseResponse.
    Availability availability(const QString& currentVersion, const QString& systemVersion,
                              const ReleaseRules& rules) const;
};

} // namespace korvel
