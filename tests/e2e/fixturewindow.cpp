// "korvel-fixture", for the end-to-end tests: four flat quadrants (red, green, blue,
// yellow) in a white border. With SHADOW, it is undecorated and draws a grey margin
// that wide, as client-side decorations draw a shadow (the test sets _GTK_FRAME_EXTENTS).
//   fixturewindow X Y W H [SHADOW]
#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace {

class Fixture final : public QWidget {
public:
    int shadow = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::gray);
        p.translate(shadow, shadow);
        const int w = width() - 2 * shadow, h = height() - 2 * shadow;
        p.fillRect(QRect(0, 0, w, h), Qt::white);
        p.fillRect(QRect(10, 10, w / 2 - 10, h / 2 - 10), QColor(255, 0, 0));
        p.fillRect(QRect(w / 2, 10, w - w / 2 - 10, h / 2 - 10), QColor(0, 255, 0));
        p.fillRect(QRect(10, h / 2, w / 2 - 10, h - h / 2 - 10), QColor(0, 0, 255));
        p.fillRect(QRect(w / 2, h / 2, w - w / 2 - 10, h - h / 2 - 10), QColor(255, 255, 0));
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 5 && argc != 6)
        return 2;
    Fixture window;
    window.setWindowTitle(QStringLiteral("korvel-fixture"));
    if (argc == 6) {
        window.shadow = atoi(argv[5]);
        window.setWindowFlag(Qt::FramelessWindowHint);
        window.setWindowTitle(QStringLiteral("korvel-fixture-shadow"));
    }
    window.setGeometry(atoi(argv[1]), atoi(argv[2]), atoi(argv[3]), atoi(argv[4]));
    window.show();
    return QApplication::exec();
}
