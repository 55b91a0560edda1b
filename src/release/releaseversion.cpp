#include "releaseversion.h"

#include <array>
#include <limits>

namespace korvel {
namespace {

std::optional<quint64> parseNumber(QStringView part) {
    if (part.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    constexpr quint64 limit = std::numeric_limits<quint64>::max();
    for (const QChar c : part) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const auto digit = quint64(c.unicode() - u'0');
        if (value > (limit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

std::optional<ReleaseVersion> ReleaseVersion::parse(QStringView text) {
    std::array<quint64, 3> numbers{};
    qsizetype start = 0;
    for (size_t i = 0; i < numbers.size(); ++i) {
        const qsizetype dot = text.indexOf(u'.', start);
        const bool last = i + 1 == numbers.size();
        // The last part runs to the end; any further dot is a fourth part.
        if (last != (dot < 0))
            return std::nullopt;
        const auto number = parseNumber(text.mid(start, last ? -1 : dot - start));
        if (!number)
            return std::nullopt;
        numbers[i] = *number;
        start = dot + 1;
    }
    return ReleaseVersion{numbers[0], numbers[1], numbers[2]};
}

QString ReleaseVersion::toString() const {
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(patch);
}

} // namespace korvel
