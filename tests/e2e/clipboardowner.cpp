// Copies a PNG file to the clipboard through Korvel's clipboard service from
// a window, closes the window and keeps running, as the capture editor does.
//   clipboardowner FILE.png READY-FILE
#include "platform/clipboard.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Like Korvel, live on after the last window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 3)
        return 2;
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly))
        return 2;
    const QByteArray png = in.readAll();
    auto* window = new QWidget;
    window->setWindowTitle(QStringLiteral("korvel-clipboard"));
    window->show();
    QTimer::singleShot(200, window, [window, png, ready = QString::fromLocal8Bit(argv[2])] {
        if (!korvel::Clipboard::copyPng(png))
            QCoreApplication::exit(1);
        window->close();
        window->deleteLater();
        QFile flag(ready);
        flag.open(QIODevice::WriteOnly);
    });
    return QApplication::exec();
}
