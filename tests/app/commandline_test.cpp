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

// The first mode of the enumeration wins; options whose arguments do not parse are passed over.
// Usage, outputs, --recognize files: cli.CommandLine; region: e2e.Checks; pin, edit: e2e.Instance.
TEST(CommandLine, ModeTable) {
    const std::pair<Mode, std::vector<const char*>> cases[] = {
        {Mode::normal,
         {"", "--unknown x", "--self-test=1", "--accessibility-statu", "--long-live-check a b c",
          "--region-check abc 1 2", "--region-check 12 x 2", "--region-check 12 1 nan",
          "--region-check 4294967296 1 2", "--region-check 1.5 1 2", "--region-check 1 2",
          "--capture=1", "--help=1"}},
        {Mode::selfTest,
         {"--self-test", "--self-test --long-live-check a b c", "--capture --self-test",
          "--version --self-test"}},
        {Mode::longLiveCheck,
         {"--long-live-check a b c d e", "--region-check 1 2 3 --long-live-check a b c d"}},
        {Mode::accessibilityStatus,
         {"--check-update-feed --accessibility-status",
          "--region-check abc 1 2 --accessibility-status", "--pin --accessibility-status",
          "--help --accessibility-status"}},
        {Mode::mosaicBrushCheck, {"--self-test --mosaic-brush-check"}},
        {Mode::checkUpdateFeed, {"--self-test --check-update-feed"}},
        // A missing file is the start's to report.
        {Mode::pin, {"--pin shot.png", "--pin", "--edit a.png --pin b.png"}},
        {Mode::edit, {"--edit long.png"}},
        {Mode::capture, {"--capture", "--pin a.png --capture"}},
        {Mode::help, {"--help", "--version --help"}},
        {Mode::version, {"--version", "--recognize a.png --version"}},
        {Mode::recognize, {"--recognize"}},
        {Mode::regionCheck, {"--region-check 1234 10.5 -3"}},
    };
    for (const auto& [mode, lines] : cases) {
        for (const char* line : lines)
            EXPECT_EQ(run(line).mode, mode) << line;
    }
}
