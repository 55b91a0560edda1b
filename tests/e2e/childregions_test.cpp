// Child regions from a real application's accessibility tree, in a private X
// session with a window manager and the accessibility bus switched on
// (scripts/xsession). The fixture is a Qt window with a sidebar holding a
// list and a button.
#include "capture/accessiblechildregions.h"
#include "capture/childregionresolver.h"
#include "capture/screencapture.h"
#include "platform/platform.h"

#include "../qtprinters.h"
#include "../testwait.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <map>

using namespace korvel;
using namespace std::chrono_literals;

namespace {

bool near(const QRectF& a, const QRectF& b, double slack = 1) {
    return std::abs(a.left() - b.left()) <= slack && std::abs(a.right() - b.right()) <= slack &&
           std::abs(a.top() - b.top()) <= slack && std::abs(a.bottom() - b.bottom()) <= slack;
}

struct ChildRegions : ::testing::Test {
    QProcess fixture;
    std::map<std::string, QRectF> parts; // root pixels
    std::unique_ptr<Platform> platform = createPlatform();
    std::vector<ScreenSnapshot> snapshots;
    int index = -1;

    void SetUp() override {
        ASSERT_TRUE(platform->capabilities.screenCapture) << "needs an X session";
        ASSERT_TRUE(platform->accessibility->isTrusted()) << "needs the accessibility bus";
        fixture.start(QStringLiteral(A11Y_FIXTURE), {QStringLiteral("300"), QStringLiteral("200")});
        ASSERT_TRUE(fixture.waitForStarted());
        ASSERT_TRUE(waitFor(
            [&] {
                while (fixture.canReadLine()) {
                    const QList<QByteArray> f = fixture.readLine().trimmed().split(' ');
                    if (f.size() == 5)
                        parts[f[0].toStdString()] =
                            QRectF(f[1].toInt(), f[2].toInt(), f[3].toInt(), f[4].toInt());
                }
                return parts.size() == 4;
            },
            10000));
        // Ready once its tree shows its window.
        auto& tree = *platform->accessibility;
        ASSERT_TRUE(waitFor(
            [&] {
                const AccessibleElement app = tree.application(qint32(fixture.processId()));
                return app && !tree.windows(app).empty();
            },
            10000));
        CaptureOptions options;
        options.ownPid = QCoreApplication::applicationPid();
        options.accessibility = platform->accessibility;
        snapshots = captureScreens(*platform->screens, *platform->windows, options);
        ASSERT_FALSE(snapshots.empty());
        // The fixture's window on the primary display: the one around its client.
        const QRectF client = local(parts["window"]);
        for (size_t i = 0; i < snapshots[0].windows.size(); ++i) {
            if (snapshots[0].windows[i].contains(client))
                index = int(i);
        }
        ASSERT_GE(index, 0);
    }
    void TearDown() override {
        ::kill(pid_t(fixture.processId()), SIGCONT);
        ChildAccessibilityWorker::shared().waitForIdle(5s);
        fixture.kill();
        fixture.waitForFinished();
    }

    // Root pixels (scale 1, primary at the origin) to display-local points.
    QRectF local(const QRectF& r) const {
        return QRectF(r.x(), 1080 - r.y() - r.height(), r.width(), r.height());
    }
    QPointF centre(const std::string& part) const { return local(parts.at(part)).center(); }
    QRectF window() const { return snapshots[0].windows[size_t(index)]; }
};

} // namespace

// The sidebar, then the window, for a point on the button, through the
// real program: e2e.Targets (panels only the tree tells apart) and the
// region check of e2e.SelfChecks.
TEST_F(ChildRegions, AStoppedApplicationLeavesHoveringToThePixels) {
    const auto& regions = snapshots[0].childRegions;
    ASSERT_TRUE(regions);
    const QRectF list = local(parts["list"]);
    regions(index, list.center()); // the pixel analysis, once per window
    ASSERT_TRUE(ChildAccessibilityWorker::shared().waitForIdle(5s));

    ASSERT_EQ(::kill(pid_t(fixture.processId()), SIGSTOP), 0);
    auto& worker = ChildAccessibilityWorker::shared();
    qint64 slowest = 0;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        const std::vector<QRectF> answer =
            regions(index, QPointF(list.left() + 5 + i * 13 % int(list.width() - 10),
                                   list.center().y() + i));
        slowest = std::max(slowest, t.elapsed());
        EXPECT_FALSE(answer.empty());
        if (i == 0) {
            EXPECT_TRUE(worker.busy());
            EXPECT_FALSE(worker.submit([] {}));
        }
        QThread::msleep(30);
    }
    EXPECT_LT(slowest, 50);

    ASSERT_EQ(::kill(pid_t(fixture.processId()), SIGCONT), 0);
    ASSERT_TRUE(worker.waitForIdle(5s));
    // The tree answers again: a new point gets its elements on the second ask.
    const QPointF onButton = centre("button");
    EXPECT_TRUE(waitFor(
        [&] {
            const std::vector<QRectF> answer = regions(index, onButton);
            worker.waitForIdle(2s);
            return !answer.empty() && near(answer.front(), local(parts["button"]));
        },
        5000));
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
