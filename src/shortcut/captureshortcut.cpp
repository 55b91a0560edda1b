#include "captureshortcut.h"

#include "platform/hotkeys.h"

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

} // namespace

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

QString CaptureShortcut::labelFor(quint32 keyCode, quint32 modifiers, const KeyNames& names) {
    const QString key = names ? names(keyCode) : usKeyName(keyCode);
    if (key.isEmpty())
        return {};
    QString label;
    const std::pair<quint32, QLatin1String> parts[] = {
        {modifier::control, QLatin1String("Ctrl+")},
        {modifier::option, QLatin1String("Alt+")},
        {modifier::shift, QLatin1String("Shift+")},
        {modifier::command, QLatin1String("Super+")}};
    for (const auto& [bit, name] : parts) {
        if (modifiers & bit)
            label += name;
    }
    return label + key;
}

std::optional<CaptureShortcut> CaptureShortcut::from(std::optional<quint32> keyCode,
                                                     Qt::KeyboardModifiers modifiers,
                                                     const KeyNames& names) {
    const quint32 mask = modifierMask(modifiers);
    if (!keyCode)
        return std::nullopt;
    if (!(mask & (modifier::control | modifier::option | modifier::command)) &&
        !worksAlone(*keyCode))
        return std::nullopt;
    const QString label = labelFor(*keyCode, mask, names);
    if (label.isEmpty())
        return std::nullopt;
    return CaptureShortcut{*keyCode, mask, label};
}

CaptureShortcut CaptureShortcut::load(const QSettings& settings, const KeyNames& names) {
    const QVariant label = settings.value(labelKey);
    if (!label.isValid() || label.typeId() != QMetaType::QString)
        return {};
    const auto keyCode = storedUInt32(settings.value(keyCodeKey));
    const auto modifiers = storedUInt32(settings.value(modifiersKey));
    if (!keyCode || !modifiers)
        return {};
    const QString named = labelFor(*keyCode, *modifiers, names);
    return {*keyCode, *modifiers, named.isEmpty() ? label.toString() : named};
}

void CaptureShortcut::store(QSettings& settings) const {
    settings.setValue(keyCodeKey, keyCode);
    settings.setValue(modifiersKey, modifiers);
    settings.setValue(labelKey, label);
}

} // namespace korvel
