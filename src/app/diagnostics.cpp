#include "diagnostics.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QTextStream>

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

} // namespace

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
