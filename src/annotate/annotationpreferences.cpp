#include "annotationpreferences.h"

#include <cmath>

namespace korvel {
namespace {

const QString colorKey = QStringLiteral("annotationColor");
const QString widthKey = QStringLiteral("annotationWidth");
const QString fontSizeKey = QStringLiteral("annotationFontSize");
const QString mosaicModeKey = QStringLiteral("annotationMosaicMode");

// Numbers come back as text from the native settings file.
std::optional<double> number(const QVariant& v) {
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok && std::isfinite(d) ? std::optional(d) : std::nullopt;
}

} // namespace

AnnotationPreferences AnnotationPreferences::load(const QSettings& settings) {
    AnnotationPreferences p;
    const QVariant color = settings.value(colorKey);
    if (color.canConvert<QVariantList>() && color.typeId() != QMetaType::QString) {
        const QVariantList parts = color.toList();
        double rgba[4] = {0, 0, 0, 0};
        bool valid = parts.size() == 4;
        for (qsizetype i = 0; valid && i < 4; ++i) {
            const auto v = number(parts[i]);
            valid = v && *v >= 0 && *v <= 1;
            rgba[i] = v.value_or(0);
        }
        if (valid)
            p.color =
                QColor::fromRgbF(float(rgba[0]), float(rgba[1]), float(rgba[2]), float(rgba[3]));
    }
    if (const auto w = number(settings.value(widthKey)); w && (*w == 1.5 || *w == 3 || *w == 6))
        p.width = *w;
    if (const auto f = number(settings.value(fontSizeKey)); f && *f >= 10 && *f <= 96)
        p.fontSize = *f;
    const QVariant mode = settings.value(mosaicModeKey);
    bool ok = false;
    if (mode.toLongLong(&ok) == 1 && ok)
        p.mosaicMode = MosaicMode::rectangle;
    return p;
}

void AnnotationPreferences::save(QSettings& settings) const {
    const QColor rgb = color.toRgb();
    if (rgb.isValid())
        settings.setValue(colorKey,
                          QVariantList{rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()});
    settings.setValue(widthKey, width);
    settings.setValue(fontSizeKey, fontSize);
    settings.setValue(mosaicModeKey, int(mosaicMode));
}

} // namespace korvel
