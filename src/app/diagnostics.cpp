#include "diagnostics.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include <memory>

namespace korvel {
namespace {

QString diagnosticsDir() {
    return qEnvironmentVariable("KORVEL_DIAGNOSTICS_DIR");
}

QString rectText(const QRectF& r) {
    return QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// Written whole or not at all, so a test never reads half a file.
void writeText(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(text.toUtf8());
        file.commit();
    }
}

QString widgetLine(const char* kind, QString name, const QWidget& w) {
    name.replace(u'\n', u' ').replace(u'\t', u' ');
    return QLatin1String(kind) + u'\t' + name + u'\t' +
           rectText(QRectF(w.mapToGlobal(QPoint(0, 0)), QSizeF(w.size())));
}

QString buttonName(const QAbstractButton& b) {
    if (!b.accessibleName().isEmpty())
        return b.accessibleName();
    return b.text().isEmpty() ? b.toolTip() : b.text();
}

// The windows on screen and their controls. A window shown but not yet
// exposed has no place yet: the window manager may still frame and move it,
// and a click at its first position would miss.
QString widgetsText() {
    QString text;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible() || !top->windowHandle() || !top->windowHandle()->isExposed())
            continue;
        text += widgetLine("window", top->windowTitle(), *top) + u'\n';
        for (QWidget* w : top->findChildren<QWidget*>()) {
            if (!w->isVisible())
                continue;
            const QString enabled =
                w->isEnabled() ? QStringLiteral("\t1\n") : QStringLiteral("\t0\n");
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                text += widgetLine("button", buttonName(*b), *b) + enabled;
            else if (auto* c = qobject_cast<QComboBox*>(w))
                text += widgetLine("popup", c->currentText(), *c) + enabled;
            else if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty())
                text += widgetLine("label", l->text(), *l) + u'\n';
        }
    }
    return text;
}

// Notes each label text as it is painted: a status line that lasts a single
// frame is still seen, one replaced before it was ever drawn is not.
class LabelWatch final : public QObject {
public:
    LabelWatch(QString path, QObject* parent)
        : QObject(parent)
        , path_(std::move(path)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        auto* label = qobject_cast<QLabel*>(watched);
        if (!label || label->text().isEmpty())
            return false;
        static const char* const shownText = "korvelShownText";
        if (label->property(shownText).toString() == label->text())
            return false;
        label->setProperty(shownText, label->text());
        // Appended: a test waits for the line it expects.
        QFile file(path_);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write((QString(label->text()).replace(u'\n', u' ') + u'\n').toUtf8());
        return false;
    }

private:
    const QString path_;
};

} // namespace

void startWidgetDiagnostics(QObject* owner) {
    const QString dir = diagnosticsDir();
    if (dir.isEmpty())
        return;
    qApp->installEventFilter(
        new LabelWatch(QDir(dir).filePath(QStringLiteral("labels.txt")), owner));
    auto written = std::make_shared<QString>();
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [dir, written] {
        const QString widgets = widgetsText();
        if (widgets == *written)
            return;
        *written = widgets;
        writeText(QDir(dir).filePath(QStringLiteral("widgets.txt")), widgets);
    });
    timer->start(100);
}

void writeMenuDiagnostics(const QMenu& menu) {
    const QString dir = diagnosticsDir();
    if (dir.isEmpty())
        return;
    QString text;
    for (const QAction* action : menu.actions())
        text += (action->isSeparator() ? QStringLiteral("-") : action->text()) + u'\n';
    writeText(QDir(dir).filePath(QStringLiteral("menu.txt")), text);
}

void writeAlertDiagnostics(const QMessageBox& box) {
    const QString dir = diagnosticsDir();
    if (dir.isEmpty())
        return;
    // Appended: a test waits for the line of the alert it expects.
    QFile file(QDir(dir).filePath(QStringLiteral("alerts.txt")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        QString line = box.text() + u'|' + box.informativeText();
        line.replace(u'\n', u' ');
        file.write((line + u'\n').toUtf8());
    }
}

void writePinDiagnostics(const std::vector<QRect>& pins) {
    const QString dir = diagnosticsDir();
    if (dir.isEmpty())
        return;
    QString text;
    for (const QRect& r : pins)
        text += rectText(r) + u'\n';
    writeText(QDir(dir).filePath(QStringLiteral("pins.txt")), text);
}

void writeSnapshotDiagnostics(const std::vector<ScreenSnapshot>& snapshots) {
    const QString dir = diagnosticsDir();
    if (dir.isEmpty())
        return;
    for (size_t i = 0; i < snapshots.size(); ++i) {
        const ScreenSnapshot& s = snapshots[i];
        const QString base = QDir(dir).filePath(QStringLiteral("snapshot-%1").arg(i));
        s.image.save(base + QStringLiteral(".png"), "PNG");
        QString text = rectText(s.frame) + u'\n';
        for (const QRectF& w : s.windows)
            text += rectText(w) + u'\n';
        writeText(base + QStringLiteral(".txt"), text);
    }
    writeText(QDir(dir).filePath(QStringLiteral("captures.txt")),
              QString::number(snapshots.size()) + u'\n');
    // One line per capture, so a test can count them.
    QFile log(QDir(dir).filePath(QStringLiteral("capturelog.txt")));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write(QByteArray::number(qulonglong(snapshots.size())) + '\n');
}

} // namespace korvel
