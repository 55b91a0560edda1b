#include "annotate/annotationpreferences.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using namespace korvel;

namespace {
struct Preferences : ::testing::Test {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("k.conf")); }
    // Written, then read by a fresh settings object as after a restart.
    AnnotationPreferences roundTrip(const std::function<void(QSettings&)>& write) {
        {
            QSettings settings(path(), QSettings::IniFormat);
            write(settings);
        }
        QSettings fresh(path(), QSettings::IniFormat);
        return AnnotationPreferences::load(fresh);
    }
};
} // namespace

TEST_F(Preferences, DefaultsWhenNothingIsStored) {
    const AnnotationPreferences p = roundTrip([](QSettings&) {});
    EXPECT_EQ(p.color, systemRed());
    EXPECT_EQ(p.width, 3);
    EXPECT_EQ(p.fontSize, 24);
    EXPECT_EQ(p.mosaicMode, MosaicMode::brush);
}

TEST_F(Preferences, StyleSurvivesARestart) {
    AnnotationPreferences stored;
    stored.color = QColor::fromRgbF(0.0f, 0.5f, 1.0f, 0.75f);
    stored.width = 6;
    stored.fontSize = 40;
    stored.mosaicMode = MosaicMode::rectangle;
    const AnnotationPreferences loaded = roundTrip([&](QSettings& s) { stored.save(s); });
    EXPECT_NEAR(loaded.color.redF(), 0.0, 1e-6);
    EXPECT_NEAR(loaded.color.greenF(), 0.5, 1e-3);
    EXPECT_NEAR(loaded.color.blueF(), 1.0, 1e-6);
    EXPECT_NEAR(loaded.color.alphaF(), 0.75, 1e-3);
    EXPECT_EQ(loaded.width, 6);
    EXPECT_EQ(loaded.fontSize, 40);
    EXPECT_EQ(loaded.mosaicMode, MosaicMode::rectangle);
}

TEST_F(Preferences, BadValuesFallBackOneByOne) {
    const AnnotationPreferences p = roundTrip([](QSettings& s) {
        s.setValue(QStringLiteral("annotationColor"), QVariantList{1.0, 0.0, 0.0}); // three numbers
        s.setValue(QStringLiteral("annotationWidth"), 2.5);
        s.setValue(QStringLiteral("annotationFontSize"), 120);
        s.setValue(QStringLiteral("annotationMosaicMode"), 7);
    });
    EXPECT_EQ(p, AnnotationPreferences{});
    const AnnotationPreferences q = roundTrip([](QSettings& s) {
        s.setValue(QStringLiteral("annotationColor"), QStringLiteral("blue"));
        s.setValue(QStringLiteral("annotationWidth"), QStringLiteral("thick"));
        s.setValue(QStringLiteral("annotationFontSize"), QStringLiteral("nan"));
        s.setValue(QStringLiteral("annotationMosaicMode"), QStringLiteral("1x"));
    });
    EXPECT_EQ(q, AnnotationPreferences{});
    const AnnotationPreferences r = roundTrip([](QSettings& s) {
        s.setValue(QStringLiteral("annotationColor"),
                   QVariantList{QStringLiteral("a"), 0.0, 0.0, 1.0});
        s.setValue(QStringLiteral("annotationFontSize"), 9.99);
        s.setValue(QStringLiteral("annotationWidth"), 1.5);
    });
    EXPECT_EQ(r.color, systemRed());
    EXPECT_EQ(r.fontSize, 24);
    EXPECT_EQ(r.width, 1.5);
    // The bounds themselves are valid.
    EXPECT_EQ(roundTrip([](QSettings& s) {
                  s.setValue(QStringLiteral("annotationFontSize"), 10);
              }).fontSize,
              10);
    EXPECT_EQ(roundTrip([](QSettings& s) {
                  s.setValue(QStringLiteral("annotationFontSize"), 96);
              }).fontSize,
              96);
}
