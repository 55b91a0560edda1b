#pragma once

#include <optional>
#include <QtGlobal>

namespace korvel {

// Raw values are stored in the settings ("defaultTool" counts from them) and
// must never change.
enum class Tool : int {
    rectangle = 0,
    arrow = 1,
    pen = 2,
    text = 3,
    ellipse = 4,
    mosaic = 5,
    blur = 6,
    number = 7,
    highlight = 8,
};

enum class MosaicMode : int {
    brush = 0,
    rectangle = 1,
};

inline std::optional<Tool> toolFromRaw(qint64 raw) {
    if (raw < 0 || raw > 8)
        return std::nullopt;
    return Tool(int(raw));
}

inline std::optional<MosaicMode> mosaicModeFromRaw(qint64 raw) {
    if (raw < 0 || raw > 1)
        return std::nullopt;
    return MosaicMode(int(raw));
}

} // namespace korvel
