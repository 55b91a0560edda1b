#pragma once

#include "../testwait.h"
#include "app/appdelegate.h"
#include "app/appservices.h"
#include "platform/fake/fakeplatform.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSettings>

namespace korvel {

inline QStringList buttonTexts(const QMessageBox& box) {
    QStringList texts;
    for (QAbstractButton* b : box.buttons())
        texts << b->text();
    return texts;
}

// The update service's schedules, fetches, alerts and links, recorded here.
struct ServiceSeams {
    struct Scheduled {
        std::chrono::milliseconds delay;
        bool repeat;
        std::function<void()> task;
    };
    std::vector<Scheduled> scheduled;
    std::vector<std::function<void(FetchResult)>> fetches;
    std::vector<QUrl> opened;
    std::vector<QString> alerts;
    std::vector<QStringList> buttons;
    int answer = 0;
    std::function<void()> duringAlert;

    static inline const QString origin = QStringLiteral("https://update.example.com");
    static ReleaseRules rules() {
        return {*UpdateServer::fromOrigin(origin), packageTarget(PackagePlatform::linuxX86_64)};
    }
    static AppRelease release(const QString& version = QStringLiteral("0.7.2"),
                              const QString& minimumSystem = QStringLiteral("5.10.0")) {
        return {version,
                QUrl(origin + QStringLiteral("/app/ds/update/dastra-") + version +
                     QStringLiteral("-linux-x86_64.deb")),
                QStringLiteral("修复了若干问题。"), minimumSystem, QStringLiteral("x86_64")};
    }

    // `alerts`: whether the service's own alerts are recorded here too.
    void hook(AppServices& services, bool alerts = true) {
        services.schedule = [this](std::chrono::milliseconds delay, bool repeat,
                                   std::function<void()> task) {
            scheduled.push_back({delay, repeat, std::move(task)});
        };
        services.releaseRules = rules;
        services.fetch = [this](const ReleaseRules&, std::function<void(FetchResult)> done) {
            fetches.push_back(std::move(done));
        };
        services.systemVersion = [] { return QStringLiteral("6.1.0"); };
        services.openUrl = [this](const QUrl& url) { opened.push_back(url); };
        if (!alerts)
            return;
        services.runAlert = [this](QMessageBox& box) {
            this->alerts.push_back(box.text() + u'|' + box.informativeText());
            buttons.push_back(buttonTexts(box));
            if (duringAlert)
                duringAlert();
            return answer;
        };
    }
};

// A press as X reports it: the keysym it typed, here the unshifted one.
inline bool press(QWidget& target, int qtKey, quint32 keysym, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, 0, keysym, 0);
    return QApplication::sendEvent(&target, &event) && event.isAccepted();
}

inline void settle() {
    waitFor([] { return false; }, 250);
}

struct FakeEditor final : CaptureEditor {
    static inline int created = 0, destroyed = 0;
    int shown = 0;
    bool saving = false;
    std::unique_ptr<QWidget> overlay = std::make_unique<QWidget>();

    FakeEditor() { ++created; }
    ~FakeEditor() override { ++destroyed; }
    void showWindow() override {
        ++shown;
        overlay->show();
    }
    void close() override {
        overlay->hide();
        if (onClose)
            onClose();
    }
    bool isSaving() const override { return saving; }
    std::vector<QWidget*> overlays() const override { return {overlay.get()}; }
};

// The delegate over a fake platform and editors, its alerts recorded.
struct Delegate : ::testing::Test {
    fake::Platform fake;
    std::unique_ptr<AppDelegate> delegate;
    std::vector<QString> alerts;
    int alertAnswer = 0;
    // Runs inside the shortcut dialog: presses keys, then answers.
    std::function<int(QMessageBox&)> inDialog;

    void SetUp() override {
        QSettings().clear();
        fake.accessibility->trusted = true;
        FakeEditor::created = FakeEditor::destroyed = 0;
        fake.screens->list = {{1, QStringLiteral("A"), QRect(0, 0, 640, 480), true},
                              {2, QStringLiteral("B"), QRect(640, 0, 320, 240), false}};
        delegate = std::make_unique<AppDelegate>(*fake.platform, [](std::vector<ScreenSnapshot>) {
            return std::make_unique<FakeEditor>();
        });
        delegate->runAlert = [this](QMessageBox& box) {
            alerts.push_back(box.text() + u'|' + box.informativeText());
            if (inDialog && box.text() == QStringLiteral("设置截图快捷键"))
                return inDialog(box);
            return alertAnswer;
        };
    }
    void TearDown() override { delegate.reset(); }

    FakeEditor* editor() { return static_cast<FakeEditor*>(delegate->editor()); }
    void launch() {
        delegate->applicationDidFinishLaunching();
        QCoreApplication::processEvents();
        // The offscreen platform has no tray; that notice is checked separately.
        alerts.clear();
    }
    void captureAndWait() {
        delegate->takeScreenshot();
        ASSERT_TRUE(waitFor([this] { return !delegate->isCapturing(); }));
    }
};

} // namespace korvel
