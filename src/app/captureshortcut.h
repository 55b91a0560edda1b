#pragma once

#include <QSettings>
#include <QString>

namespace korvel {

struct CaptureShortcut {
    quint32 keyCode = 18;     // the main keyboard's "1"
    quint32 modifiers = 4096; // Control
    QString label = QStringLiteral("⌃1");

    friend bool operator==(const CaptureShortcut&, const CaptureShortcut&) = default;

    // The stored shortcut when all three keys are present and both numbers
    // fit in 32 unsigned bits; the default otherwise.
    static CaptureShortcut load(const QSettings& settings);
    void store(QSettings& settings) const;
};

} // namespace korvel
