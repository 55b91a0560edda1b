#include "captureshortcut.h"

#include "platform/hotkeys.h"
#include "platform/keymap.h"

#include <optional>

namespace korvel {
namespace {

const QString keyCodeKey = QStringLiteral("captureShortcutKeyCode");
const QString modifiersKey = QStringLiteral("captureShortcutModifiers");
const QString labelKey = QStringLiteral("captureShortcutLabel");

std::optional<quint32> storedUInt32(const QVariant& value) {
    bool ok = false;
    // The native settings file keeps numbers as text, so both forms count.
    const qlonglong v = value.toLongLong(&ok);
    if (!ok || v < 0 || v > 4294967295LL)
        return std::nullopt;
    return quint32(v);
}

// Keys whose name is not the character they type.
QString specialName(quint32 keyCode) {
    switch (keyCode) {
    case 49:
        return QStringLiteral("空格");
    case 36:
        return QStringLiteral("Return");
    case 48:
        return QStringLiteral("Tab");
    case 51:
        return QStringLiteral("⌫");
    case 123:
        return QStringLiteral("←");
    case 124:
        return QStringLiteral("→");
    case 125:
        return QStringLiteral("↓");
    case 126:
        return QStringLiteral("↑");
    case 117:
        return QStringLiteral("⌦");
    case 115:
        return QStringLiteral("Home");
    case 119:
        return QStringLiteral("End");
    case 116:
        return QStringLiteral("PageUp");
    case 121:
        return QStringLiteral("PageDown");
    case 53:
        return QStringLiteral("Esc");
    default:
        return {};
    }
}

} // namespace

QString CaptureShortcut::keyName(quint32 keyCode) {
    if (QString name = specialName(keyCode); !name.isEmpty())
        return name;
    const std::optional<quint32> keysym = keysymForKeyCode(keyCode);
    if (!keysym)
        return {};
    // Function keys F1 … F12 are consecutive keysyms.
    if (*keysym >= 0xffbe && *keysym <= 0xffc9)
        return QStringLiteral("F%1").arg(*keysym - 0xffbe + 1);
    if (*keysym > 0x20 && *keysym < 0x7f)
        return QString(QChar(char16_t(*keysym))).toUpper();
    return {};
}

quint32 CaptureShortcut::modifierMask(Qt::KeyboardModifiers modifiers) {
    quint32 mask = 0;
    if (modifiers & Qt::ControlModifier)
        mask |= modifier::control;
    if (modifiers & Qt::AltModifier)
        mask |= modifier::option;
    if (modifiers & Qt::ShiftModifier)
        mask |= modifier::shift;
    if (modifiers & Qt::MetaModifier)
        mask |= modifier::command;
    return mask;
}

std::optional<CaptureShortcut> CaptureShortcut::from(std::optional<quint32> keyCode,
                                                     Qt::KeyboardModifiers modifiers) {
    const quint32 mask = modifierMask(modifiers);
    if (!(mask & (modifier::control | modifier::option | modifier::command)) || !keyCode)
        return std::nullopt;
    const QString name = keyName(*keyCode);
    if (name.isEmpty())
        return std::nullopt;
    // Symbols in a fixed order: Control, Option, Shift, Command.
    QString label;
    const std::pair<quint32, const char16_t*> symbols[] = {{modifier::control, u"⌃"},
                                                           {modifier::option, u"⌥"},
                                                           {modifier::shift, u"⇧"},
                                                           {modifier::command, u"⌘"}};
    for (const auto& [bit, symbol] : symbols) {
        if (mask & bit)
            label += QString::fromUtf16(symbol);
    }
    return CaptureShortcut{*keyCode, mask, label + name};
}

CaptureShortcut CaptureShortcut::load(const QSettings& settings) {
    const QVariant label = settings.value(labelKey);
    if (!label.isValid() || label.typeId() != QMetaType::QString)
        return {};
    const auto keyCode = storedUInt32(settings.value(keyCodeKey));
    const auto modifiers = storedUInt32(settings.value(modifiersKey));
    if (!keyCode || !modifiers)
        return {};
    return {*keyCode, *modifiers, label.toString()};
}

void CaptureShortcut::store(QSettings& settings) const {
    settings.setValue(keyCodeKey, keyCode);
    settings.setValue(modifiersKey, modifiers);
    settings.setValue(labelKey, label);
}

} // namespace korvel
