#pragma once

#include "tool.h"

#include <QColor>
#include <QSettings>

#include <optional>

namespace korvel {

// The system red of the toolbar's palette, the default ink.
inline QColor systemRed() {
    return QColor(255, 59, 48);
}

// The last used annotation style, remembered across captures.
struct AnnotationPreferences {
    QColor color = systemRed();
    double width = 3;
    double fontSize = 24;
    MosaicMode mosaicMode = MosaicMode::brush;

    friend bool operator==(const AnnotationPreferences&, const AnnotationPreferences&) = default;

    // Every key falls back on its own when missing or out of range.
    static AnnotationPreferences load(const QSettings& settings);
    void save(QSettings& settings) const;
};

} // namespace korvel
