// Writes fixture images for the command-line tests:
//   korvel_textimage OUT.png LINE...   white PNG with one line of text each
//   korvel_textimage --huge OUT.png    a PNG header claiming 60000 × 60000
#include "../platform/pngbytes.h"
#include "textscenes.h"

#include <QFile>
#include <QGuiApplication>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == QStringLiteral("--huge")) {
        // Then the start of image data that never comes: nothing to decode.
        const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) +
                               pngbytes::header(60000, 60000, 8, 6) +
                               QByteArray::fromHex("00001000") + "IDAT" + QByteArray(16, '\0');
        QFile file(args[1]);
        return file.open(QIODevice::WriteOnly) && file.write(png) > 0 ? 0 : 1;
    }
    if (args.size() < 2)
        return 1;
    const QStringList lines = args.mid(1);
    QImage image(640, 40 + 40 * int(lines.size()), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(korvel::scenes::screenFont(20));
    for (int i = 0; i < lines.size(); ++i)
        p.drawText(QPoint(20, 45 + 40 * i), lines[i]);
    p.end();
    return image.save(args[0], "PNG") ? 0 : 1;
}
