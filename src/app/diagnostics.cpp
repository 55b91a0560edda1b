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
#include <QSet>
#include <QTextStream>
#include <QTimer>

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

// The visible windows and their controls; the label texts go to `labels`.
QString widgetsText(QStringList& labels) {
    QString text;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible())
            continue;
        text += widgetLine("window", top->windowTitle(), *top) + u'\n';
        for (QWidget* w : top->findChildren<QWidget*>()) {
            if (!w->isVisible())
                continue;
            const QString enabled =
                w->isEnabled() ? QStringLiteral("\t1\n") : QStringLiteral("\t0\n");
            if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                text += widgetLine("button", buttonName(*b), *b) + enabled;
            } else if (auto* c = qobject_cast<QComboBox*>(w)) {
                text += widgetLine("popup", c->currentText(), *c) + enabled;
            } else if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty()) {
                text += widgetLine("label", l->text(), *l) + u'\n';
                labels.append(l->text());
            }
        }
    }
    return text;
}

} // namespace

void startWidgetDiagnostics(QObject* owner) {
    const QString dir = diagnosticsDir();
    if (dir.isEmpty())
        return;
    struct Seen {
        QString widgets;
        QSet<QString> labels;
    };
    auto seen = std::make_shared<Seen>();
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [dir, seen] {
        QStringList labels;
        const QString widgets = widgetsText(labels);
        if (widgets == seen->widgets)
            return;
        seen->widgets = widgets;
        writeText(QDir(dir).filePath(QStringLiteral("widgets.txt")), widgets);
        QString shown;
        for (const QString& label : labels) {
            if (!seen->labels.contains(label))
                shown += QString(label).replace(u'\n', u' ') + u'\n';
        }
        seen->labels = QSet<QString>(labels.begin(), labels.end());
        // Appended: a test waits for the line it expects, however briefly shown.
        QFile file(QDir(dir).filePath(QStringLiteral("labels.txt")));
        if (!shown.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write(shown.toUtf8());
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
}

} // namespace korvel
