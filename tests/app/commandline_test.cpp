#include "app/commandline.h"

#include <gtest/gtest.h>

using namespace korvel;

namespace {
// The arguments after the program's name, apart at spaces.
Dispatch run(const char* line) {
    return dispatch(QStringList{QStringLiteral("korvel")} +
                    QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts));
}
} // namespace

// The first mode in the order of the enumeration wins wherever it stands;
// options match whole arguments, and one whose arguments do not parse is
// passed over. The usage text and each mode's output: cli.CheckModes and
// cli.Recognize on the real binary.
TEST(CommandLine, ModeTable) {
    const std::pair<const char*, Mode> cases[] = {
        {"", Mode::normal},
        {"--self-test", Mode::selfTest},
        {"--long-live-check a b c d e", Mode::longLiveCheck},
        {"--pin shot.png", Mode::pin},
        {"--edit long.png", Mode::edit},
        {"--help", Mode::help},
        {"--version", Mode::version},
        {"--unknown x", Mode::normal},
        {"--self-test=1", Mode::normal},
        {"--accessibility-statu", Mode::normal},
        {"--check-update-feed --accessibility-status", Mode::accessibilityStatus},
        {"--self-test --mosaic-brush-check", Mode::mosaicBrushCheck},
        {"--self-test --check-update-feed", Mode::checkUpdateFeed},
        {"--self-test --long-live-check a b c", Mode::selfTest},
        {"--long-live-check a b c", Mode::normal},
        {"--region-check abc 1 2", Mode::normal},
        {"--region-check 12 x 2", Mode::normal},
        {"--region-check 12 1 nan", Mode::normal},
        {"--region-check 4294967296 1 2", Mode::normal},
        {"--region-check 1.5 1 2", Mode::normal},
        {"--region-check 1 2", Mode::normal},
        {"--region-check abc 1 2 --accessibility-status", Mode::accessibilityStatus},
        {"--region-check 1 2 3 --long-live-check a b c d", Mode::longLiveCheck},
        {"--capture", Mode::capture},
        {"--pin", Mode::pin}, // the missing file is the start's to report
        {"--pin a.png --capture", Mode::capture},
        {"--capture --self-test", Mode::selfTest},
        {"--pin --accessibility-status", Mode::accessibilityStatus},
        {"--capture=1", Mode::normal},
        {"--edit a.png --pin b.png", Mode::pin},
        {"--version --help", Mode::help},
        {"--help --accessibility-status", Mode::accessibilityStatus},
        {"--version --self-test", Mode::selfTest},
        {"--recognize a.png --version", Mode::version},
        {"--help=1", Mode::normal},
        {"--recognize", Mode::recognize},
    };
    for (const auto& [line, mode] : cases)
        EXPECT_EQ(run(line).mode, mode) << line;
}

TEST(CommandLine, ArgumentsOfTheModes) {
    EXPECT_EQ(run("--long-live-check a b c d e").arguments, QStringLiteral("a b c d").split(u' '));
    const Dispatch region = run("--region-check 1234 10.5 -3");
    EXPECT_EQ(region.mode, Mode::regionCheck);
    EXPECT_EQ(region.pid, 1234);
    EXPECT_DOUBLE_EQ(region.x, 10.5);
    EXPECT_DOUBLE_EQ(region.y, -3);
    EXPECT_EQ(run("--pin shot.png").file, QStringLiteral("shot.png"));
    EXPECT_TRUE(run("--pin").file.isEmpty());
    EXPECT_EQ(run("--edit long.png").file, QStringLiteral("long.png"));
    EXPECT_TRUE(run("--edit").file.isEmpty());
    EXPECT_EQ(
        dispatch(QStringLiteral("korvel x --recognize a.png - --later").split(u' ')
                 << QStringLiteral("b c.png"))
            .files,
        (QStringList{QStringLiteral("a.png"), QStringLiteral("-"), QStringLiteral("b c.png")}));
}
