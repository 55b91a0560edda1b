// Copies a PNG file the way a capture window's "复制" does (clipboard, then
// history), closes the window and keeps running, as Korvel does.
//   clipboardowner FILE.png READY-FILE HISTORY-FOLDER
#include "export/screenshotexport.h"
#include "history/screenshothistory.h"

#include <QSettings>

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Like Korvel, live on after the last window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 4)
        return 2;
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly))
        return 2;
    const QByteArray png = in.readAll();
    auto* window = new QWidget;
    window->setWindowTitle(QStringLiteral("korvel-clipboard"));
    window->show();
    QSettings().setValue(QStringLiteral("historyEnabled"), true);
    static korvel::ScreenshotHistory history(QString::fromLocal8Bit(argv[3]),
                                             [] { return std::make_unique<QSettings>(); });
    QTimer::singleShot(200, window, [window, png, ready = QString::fromLocal8Bit(argv[2])] {
        if (!korvel::ScreenshotExport::copy(png, history))
            QCoreApplication::exit(1);
        history.waitForIdle();
        window->close();
        window->deleteLater();
        QFile flag(ready);
        flag.open(QIODevice::WriteOnly);
    });
    return QApplication::exec();
}
