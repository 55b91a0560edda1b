#include "captureshortcut.h"

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
