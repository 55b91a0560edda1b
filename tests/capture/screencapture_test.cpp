#include "capture/capturefailure.h"
#include "capture/screencapture.h"
#include "platform/error.h"
#include "platform/fake/fakeplatform.h"

#include "../qtprinters.h"

#include <gtest/gtest.h>
#include <QPushButton>

using namespace korvel;

namespace {

// Two side-by-side displays of different sizes, as the end-to-end harness has.
struct TwoDisplays : ::testing::Test {
    fake::Platform fake;
    void SetUp() override {
        fake.screens->list = {{1, QStringLiteral("A"), QRect(0, 0, 1920, 1080), true},
                              {2, QStringLiteral("B"), QRect(1920, 0, 1280, 1024), false}};
    }
    std::vector<ScreenSnapshot> capture() {
        return captureScreens(*fake.screens, *fake.windows, CaptureOptions{});
    }
    // The text the alert shows: Delegate.FailedCaptureAlertsAndBringsTheOldEditorBack.
    QString failure() {
        try {
            capture();
            return {};
        } catch (const Error& e) {
            return e.description();
        }
    }
};

} // namespace

// A failed grab, no display, a display gone or resized mid-capture: the
// whole capture fails. Empty displays are skipped.
TEST_F(TwoDisplays, AnyBrokenDisplayFailsTheWholeCapture) {
    fake.screens->list.push_back({3, QStringLiteral("C"), QRect(0, 0, 0, 0), false});
    EXPECT_EQ(capture().size(), 2u);
    fake.screens->images[2] = QImage(640, 480, QImage::Format_ARGB32_Premultiplied);
    EXPECT_FALSE(failure().isEmpty());
    fake.screens->images.erase(2);
    SetUp();
    fake.screens->afterGrab = [this](const Display& d) {
        if (d.id == 1)
            fake.screens->list.pop_back();
    };
    EXPECT_FALSE(failure().isEmpty());
    fake.screens->afterGrab = nullptr;
    SetUp();
    fake.screens->failures.emplace(2, Error(QStringLiteral("Korvel"), 2, QStringLiteral("读不到")));
    EXPECT_EQ(failure(), QStringLiteral("读不到"));
    fake.screens->list.clear();
    EXPECT_EQ(failure(), QStringLiteral("没有可截取的显示器"));
}

// Other texts: Delegate.FailedCaptureAlertsAndBringsTheOldEditorBack, wayland.Portal.
TEST(ScreenCaptureFailure, MissingPermissionOffersTheSettings) {
    auto box = ScreenCaptureFailure::alert(Error(QStringLiteral("Korvel"), 1, QString()), true);
    EXPECT_TRUE(box->informativeText().startsWith(QStringLiteral("请在系统设置 → 隐私与安全性")));
    ASSERT_EQ(box->buttons().size(), 2);
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("打开系统设置"));
}
