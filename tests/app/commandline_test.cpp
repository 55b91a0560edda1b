#include "app/commandline.h"

#include <gtest/gtest.h>

using namespace korvel;

namespace {
Dispatch run(std::initializer_list<const char*> args) {
    QStringList list{QStringLiteral("korvel")};
    for (const char* a : args)
        list << QString::fromUtf8(a);
    return dispatch(list);
}
} // namespace

TEST(CommandLine, NoOptionStartsNormally) {
    EXPECT_EQ(run({}).mode, Mode::normal);
    EXPECT_EQ(run({"--unknown", "x"}).mode, Mode::normal);
    // Options match whole arguments only.
    EXPECT_EQ(run({"--self-test=1"}).mode, Mode::normal);
    EXPECT_EQ(run({"--accessibility-statu"}).mode, Mode::normal);
}

TEST(CommandLine, FirstModeInOrderWinsWhereverItStands) {
    EXPECT_EQ(run({"--check-update-feed", "--accessibility-status"}).mode,
              Mode::accessibilityStatus);
    EXPECT_EQ(run({"--self-test", "--mosaic-brush-check"}).mode, Mode::mosaicBrushCheck);
    EXPECT_EQ(run({"--self-test", "--check-update-feed"}).mode, Mode::checkUpdateFeed);
    EXPECT_EQ(run({"--self-test"}).mode, Mode::selfTest);
}

TEST(CommandLine, LongLiveCheckNeedsFourArguments) {
    const Dispatch d = run({"--long-live-check", "a", "b", "c", "d", "e"});
    EXPECT_EQ(d.mode, Mode::longLiveCheck);
    EXPECT_EQ(d.arguments, (QStringList{QStringLiteral("a"), QStringLiteral("b"),
                                        QStringLiteral("c"), QStringLiteral("d")}));
    // Three are not enough; dispatch goes on to the later options.
    EXPECT_EQ(run({"--self-test", "--long-live-check", "a", "b", "c"}).mode, Mode::selfTest);
    EXPECT_EQ(run({"--long-live-check", "a", "b", "c"}).mode, Mode::normal);
}

TEST(CommandLine, RegionCheckParsesPidAndPoint) {
    const Dispatch d = run({"--region-check", "1234", "10.5", "-3"});
    EXPECT_EQ(d.mode, Mode::regionCheck);
    EXPECT_EQ(d.pid, 1234);
    EXPECT_DOUBLE_EQ(d.x, 10.5);
    EXPECT_DOUBLE_EQ(d.y, -3);
    // Anything that does not parse leaves the option unused.
    EXPECT_EQ(run({"--region-check", "abc", "1", "2"}).mode, Mode::normal);
    EXPECT_EQ(run({"--region-check", "12", "x", "2"}).mode, Mode::normal);
    EXPECT_EQ(run({"--region-check", "12", "1", "nan"}).mode, Mode::normal);
    EXPECT_EQ(run({"--region-check", "4294967296", "1", "2"}).mode, Mode::normal);
    EXPECT_EQ(run({"--region-check", "1.5", "1", "2"}).mode, Mode::normal);
    EXPECT_EQ(run({"--region-check", "1", "2"}).mode, Mode::normal);
    EXPECT_EQ(run({"--region-check", "abc", "1", "2", "--accessibility-status"}).mode,
              Mode::accessibilityStatus);
    // The long-live check comes first.
    EXPECT_EQ(run({"--region-check", "1", "2", "3", "--long-live-check", "a", "b", "c", "d"}).mode,
              Mode::longLiveCheck);
}

TEST(CommandLine, CaptureAndPinComeAfterEveryOtherMode) {
    EXPECT_EQ(run({"--capture"}).mode, Mode::capture);
    const Dispatch pin = run({"--pin", "shot.png"});
    EXPECT_EQ(pin.mode, Mode::pin);
    EXPECT_EQ(pin.file, QStringLiteral("shot.png"));
    // Nothing after "--pin": the file is missing, which the start reports.
    EXPECT_EQ(run({"--pin"}).mode, Mode::pin);
    EXPECT_TRUE(run({"--pin"}).file.isEmpty());
    EXPECT_EQ(run({"--pin", "a.png", "--capture"}).mode, Mode::capture);
    EXPECT_EQ(run({"--capture", "--self-test"}).mode, Mode::selfTest);
    EXPECT_EQ(run({"--pin", "--accessibility-status"}).mode, Mode::accessibilityStatus);
    EXPECT_EQ(run({"--capture=1"}).mode, Mode::normal);
    const Dispatch edit = run({"--edit", "long.png"});
    EXPECT_EQ(edit.mode, Mode::edit);
    EXPECT_EQ(edit.file, QStringLiteral("long.png"));
    EXPECT_EQ(run({"--edit", "a.png", "--pin", "b.png"}).mode, Mode::pin);
    EXPECT_TRUE(run({"--edit"}).file.isEmpty());
}

TEST(CommandLine, HelpVersionAndRecognizeComeAfterTheChecks) {
    EXPECT_EQ(run({"--help"}).mode, Mode::help);
    EXPECT_EQ(run({"--version"}).mode, Mode::version);
    EXPECT_EQ(run({"--version", "--help"}).mode, Mode::help);
    EXPECT_EQ(run({"--help", "--accessibility-status"}).mode, Mode::accessibilityStatus);
    EXPECT_EQ(run({"--version", "--self-test"}).mode, Mode::selfTest);
    EXPECT_EQ(run({"--recognize", "a.png", "--version"}).mode, Mode::version);
    EXPECT_EQ(run({"--help=1"}).mode, Mode::normal);

    const Dispatch d = run({"x", "--recognize", "a.png", "-", "--later", "b c.png"});
    EXPECT_EQ(d.mode, Mode::recognize);
    EXPECT_EQ(d.files, (QStringList{QStringLiteral("a.png"), QStringLiteral("-"),
                                    QStringLiteral("b c.png")}));
    EXPECT_TRUE(run({"--recognize"}).files.isEmpty());
    EXPECT_EQ(run({"--recognize"}).mode, Mode::recognize);
}

TEST(CommandLine, UsageHasOneChineseLinePerOption) {
    const QStringList lines = usage().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const char* option :
         {"--capture", "--pin", "--edit", "--recognize", "--accessibility-status",
          "--check-update-feed", "--self-test", "--mosaic-brush-check", "--long-live-check",
          "--region-check", "--help", "--version"}) {
        int found = 0;
        for (const QString& line : lines)
            found +=
                line.startsWith(QStringLiteral("  ") + QLatin1String(option) + QLatin1Char(' '));
        EXPECT_EQ(found, 1) << option;
    }
    for (const QString& line : lines) {
        bool chinese = false;
        for (QChar c : line)
            chinese = chinese || (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF);
        EXPECT_TRUE(chinese) << line.toStdString();
    }
}
