// A window with known content for the end-to-end tests: four flat quadrants
// (red, green, blue, yellow) with a white border, titled "korvel-fixture".
//   fixturewindow X Y W H
#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace {

class Fixture final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int w = width(), h = height();
        p.fillRect(rect(), Qt::white);
        p.fillRect(QRect(10, 10, w / 2 - 10, h / 2 - 10), QColor(255, 0, 0));
        p.fillRect(QRect(w / 2, 10, w - w / 2 - 10, h / 2 - 10), QColor(0, 255, 0));
        p.fillRect(QRect(10, h / 2, w / 2 - 10, h - h / 2 - 10), QColor(0, 0, 255));
        p.fillRect(QRect(w / 2, h / 2, w - w / 2 - 10, h - h / 2 - 10), QColor(255, 255, 0));
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 5)
        return 2;
    Fixture window;
    window.setWindowTitle(QStringLiteral("korvel-fixture"));
    window.setGeometry(atoi(argv[1]), atoi(argv[2]), atoi(argv[3]), atoi(argv[4]));
    window.show();
    return QApplication::exec();
}
