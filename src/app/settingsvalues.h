#pragma once

#include <QSettings>

namespace korvel {

// A Boolean setting; `fallback` when missing or not a Boolean. The native
// settings file stores Booleans as the words "true" and "false".
inline bool readBool(const QSettings& settings, const QString& key, bool fallback) {
    const QVariant v = settings.value(key);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::QString) {
        if (v.toString() == QLatin1String("true"))
            return true;
        if (v.toString() == QLatin1String("false"))
            return false;
    }
    return fallback;
}

} // namespace korvel
