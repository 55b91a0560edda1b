// Feed bodies as the fetch hands them over (at most 256000 bytes): decoding
// and validation must end in a release or an Error, never a crash, and an
// accepted release must name exactly the expected package. Input that starts
// like an HTTP response is read as the fetch reads its connection first, in
// small pieces, within a small head limit; a complete body goes on as above.
#include "fuzzrequire.h"
#include "release/apprelease.h"
#include "release/httpresponse.h"
#include "release/releaseversion.h"

#include <cstdint>

using namespace korvel;

namespace {

const ReleaseRules& rules() {
    static const ReleaseRules r{
        *UpdateServer::fromOrigin(QStringLiteral("https://update.example.com")),
        packageTarget(PackagePlatform::linuxX86_64)};
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > std::size_t(maxFeedBytes))
        return 0;
    QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (body.startsWith("HTTP/")) {
        constexpr qsizetype headLimit = 300, bodyLimit = 2000;
        HttpResponse response(headLimit, bodyLimit);
        for (qsizetype i = 0; i < body.size(); i += 7)
            response.feed(body.mid(i, 7));
        response.closed();
        require(response.state() != HttpResponse::State::reading);
        if (response.state() != HttpResponse::State::complete)
            return 0;
        require(response.status() == 200 && response.body().size() <= bodyLimit);
        body = response.body();
    }
    try {
        const AppRelease release = AppRelease::decode(body);
        release.validate(rules());
        QUrl expected = rules().server.packageAddress(release.version, rules().package);
        QUrl onDefaultPort = expected;
        onDefaultPort.setPort(443);
        require(release.downloadURL == expected || release.downloadURL == onDefaultPort);
        require(characterCount(release.notes) >= 1);
        release.availability(QStringLiteral("0.7.1"), QStringLiteral("6.1.0"), rules());
    } catch (const Error&) {
    }
    // Whatever parses as a version prints back to a version that parses the same.
    if (const auto version = ReleaseVersion::parse(QString::fromUtf8(body)))
        require(ReleaseVersion::parse(version->toString()) == version);
    return 0;
}
