#pragma once

#include <QString>
#include <QStringView>

#include <compare>
#include <optional>
#include <tuple>

namespace korvel {

// A release version: exactly three non-negative decimal numbers joined by
// ".", compared numerically from the left (0.7.10 is newer than 0.7.9).
// There is no pre-release or build suffix.
struct ReleaseVersion {
    quint64 major = 0;
    quint64 minor = 0;
    quint64 patch = 0;

    // Only ASCII digits count; a sign, a blank, an empty part, a fourth part,
    // a suffix or a number beyond 64 bits makes the text invalid.
    static std::optional<ReleaseVersion> parse(QStringView text);

    QString toString() const;

    friend bool operator==(const ReleaseVersion& a, const ReleaseVersion& b) {
        return a.numbers() == b.numbers();
    }
    friend std::strong_ordering operator<=>(const ReleaseVersion& a, const ReleaseVersion& b) {
        return a.numbers() <=> b.numbers();
    }

private:
    std::tuple<quint64, quint64, quint64> numbers() const { return {major, minor, patch}; }
};

} // namespace korvel
