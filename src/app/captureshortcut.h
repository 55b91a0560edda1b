#pragma once

#include <QSettings>
#include <QString>

#include <optional>

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

    // The shortcut of a key press: the stored key code of the key (none when
    // the key has no code) and the modifiers held. None without Control,
    // Option (Alt) or Command (Super): Shift alone is not a shortcut.
    static std::optional<CaptureShortcut> from(std::optional<quint32> keyCode,
                                               Qt::KeyboardModifiers modifiers);
    // The modifier bits of the Qt modifiers, Caps Lock and the like ignored.
    static quint32 modifierMask(Qt::KeyboardModifiers modifiers);
    // What a key is called in a label: "空格", "Return", arrows, "F5", or the
    // character the key types, upper-cased. Empty for unknown codes.
    static QString keyName(quint32 keyCode);
};

} // namespace korvel
