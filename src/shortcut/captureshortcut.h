#pragma once

#include <QSettings>
#include <QString>

#include "platform/keymap.h"

#include <functional>
#include <optional>

namespace korvel {

// What a stored key code is called on the user's keyboard layout.
using KeyNames = std::function<QString(quint32 keyCode)>;

struct CaptureShortcut {
    quint32 keyCode = 18;     // the main keyboard's "1"
    quint32 modifiers = 4096; // Control
    QString label = QStringLiteral("Ctrl+1");

    friend bool operator==(const CaptureShortcut&, const CaptureShortcut&) = default;

    // The stored shortcut when all three keys are present and both numbers
    // fit in 32 unsigned bits; the default otherwise. The label is named
    // afresh, so one stored by an older version or under another layout
    // reads as this one writes it; the stored text stays only for a key
    // without a name.
    static CaptureShortcut load(const QSettings& settings, const KeyNames& names = usKeyName);
    void store(QSettings& settings) const;

    // The shortcut of a key press: the stored key code of the key (none when
    // the key has no code) and the modifiers held. None without Control, Alt
    // or Super, except for the keys that work alone (Print, F13 …): Shift
    // with a letter types a capital and is no shortcut.
    static std::optional<CaptureShortcut> from(std::optional<quint32> keyCode,
                                               Qt::KeyboardModifiers modifiers,
                                               const KeyNames& names = usKeyName);
    // The modifier bits of the Qt modifiers, Caps Lock and the like ignored.
    static quint32 modifierMask(Qt::KeyboardModifiers modifiers);
    // As Linux desktops write it: modifiers in the order Ctrl, Alt, Shift,
    // Super, then the key, joined by "+" ("Ctrl+Shift+A"). Empty when the
    // key has no name.
    static QString labelFor(quint32 keyCode, quint32 modifiers, const KeyNames& names = usKeyName);
};

} // namespace korvel
