#include "annotate/annotationpreferences.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using namespace korvel;

namespace {

// Written, then read by a fresh settings object as after a restart.
AnnotationPreferences roundTrip(const std::function<void(QSettings&)>& write) {
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("k.conf"));
    {
        QSettings settings(path, QSettings::IniFormat);
        write(settings);
    }
    QSettings fresh(path, QSettings::IniFormat);
    return AnnotationPreferences::load(fresh);
}

AnnotationPreferences stored(const QVariantList& values) {
    return roundTrip([&](QSettings& s) {
        const char* keys[] = {"annotationColor", "annotationWidth", "annotationFontSize",
                              "annotationMosaicMode"};
        for (int i = 0; i < values.size(); ++i)
            if (values[i].isValid())
                s.setValue(QLatin1String(keys[i]), values[i]);
    });
}

} // namespace

TEST(AnnotationPreferences, StyleSurvivesARestart) {
    AnnotationPreferences style;
    style.color = QColor::fromRgbF(0.0f, 0.5f, 1.0f, 0.75f);
    style.width = 6;
    style.fontSize = 40;
    style.mosaicMode = MosaicMode::rectangle;
    const AnnotationPreferences loaded = roundTrip([&](QSettings& s) { style.save(s); });
    EXPECT_NEAR(loaded.color.greenF(), 0.5, 1e-3);
    EXPECT_NEAR(loaded.color.blueF(), 1.0, 1e-6);
    EXPECT_NEAR(loaded.color.alphaF(), 0.75, 1e-3);
    EXPECT_EQ(loaded.width, 6);
    EXPECT_EQ(loaded.fontSize, 40);
    EXPECT_EQ(loaded.mosaicMode, MosaicMode::rectangle);
}

// Each bad value falls back on its own; font sizes run from 10 to 96.
TEST(AnnotationPreferences, BadValuesFallBackOneByOne) {
    const AnnotationPreferences defaults;
    EXPECT_EQ(stored({}), defaults);
    EXPECT_EQ(stored({QVariantList{1.0, 0.0, 0.0}, 2.5, 120, 7}), defaults);
    EXPECT_EQ(stored({QStringLiteral("blue"), QStringLiteral("thick"), QStringLiteral("nan"),
                      QStringLiteral("1x")}),
              defaults);
    const AnnotationPreferences r =
        stored({QVariantList{QStringLiteral("a"), 0.0, 0.0, 1.0}, 1.5, 9.99});
    EXPECT_EQ(r.color, defaults.color);
    EXPECT_EQ(r.fontSize, defaults.fontSize);
    EXPECT_EQ(r.width, 1.5);
    EXPECT_EQ(stored({QVariant(), QVariant(), 10}).fontSize, 10);
    EXPECT_EQ(stored({QVariant(), QVariant(), 96}).fontSize, 96);
}
