// "korvel-scroll", for the end-to-end tests and the benchmark: a fixed header band over
// a viewport onto src/longshot/longdocument.h's document, moved a fixed number of
// pixels per wheel click, unsmoothed, so each position shows exact pixels.
//   scrollfixture [--horizontal] [--window X,Y,W,H] [--length N] [--step N]
//                 [--offset N] [--seed N] [--write FILE] [--print-offset] [--blink]
// --horizontal: scrolled sideways by either wheel. --window, as Qt takes --geometry on
// X11. --write: the whole document as PNG. --print-offset: "window ID" once shown, then
// the offset after every change. --blink: a caret's beat in the header's corner.
#include "longshot/longdocument.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QWheelEvent>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

constexpr int headerHeight = 40;

class ScrollFixture final : public QWidget {
public:
    ScrollFixture(QSize size, int length, int step, unsigned seed, bool horizontal)
        : step_(step)
        , horizontal_(horizontal) {
        setFixedSize(size);
        // Headless sway draws the pointer into every frame of the capture. A
        // blank shape is not enough: Qt then sets no image at all.
        QPixmap clear(16, 16);
        clear.fill(Qt::transparent);
        setCursor(QCursor(clear));
        const QSize viewport(size.width(), size.height() - headerHeight);
        header_ =
            korvel::scenes::bandImage(size.width(), headerHeight, seed + 1, qRgb(228, 232, 242));
        // Sideways it is drawn tall, then turned: the same mix of text and photos.
        document_ = horizontal ? korvel::scenes::longDocument(viewport.height(), length, seed)
                                     .transformed(QTransform().rotate(-90))
                               : korvel::scenes::longDocument(viewport.width(), length, seed);
        maximum_ = std::max(0, length - (horizontal ? viewport.width() : viewport.height()));
    }

    const QImage& document() const { return document_; }
    void setOffset(int offset) { offset_ = std::clamp(offset, 0, maximum_); }
    bool printOffset = false;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(0, 0, header_);
        if (blinkOn_)
            p.fillRect(4, 4, 12, 12, Qt::black);
        const QSize viewport(width(), height() - headerHeight);
        p.drawImage(QPoint(0, headerHeight), document_,
                    QRect(horizontal_ ? QPoint(offset_, 0) : QPoint(0, offset_), viewport));
    }

    void timerEvent(QTimerEvent*) override {
        blinkOn_ = !blinkOn_;
        update(4, 4, 12, 12);
    }

    void wheelEvent(QWheelEvent* event) override {
        // One click is 120 eighths of a degree; a negative delta moves on.
        const QPoint delta = event->angleDelta();
        const int clicks = -((horizontal_ && delta.x() != 0) ? delta.x() : delta.y()) / 120;
        const int next = std::clamp(offset_ + clicks * step_, 0, maximum_);
        event->accept();
        if (next == offset_)
            return;
        offset_ = next;
        repaint();
        if (printOffset) {
            std::printf("%d\n", offset_);
            std::fflush(stdout);
        }
    }

private:
    const int step_;
    const bool horizontal_;
    QImage header_;
    QImage document_;
    int offset_ = 0;
    int maximum_ = 0;
    bool blinkOn_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::map<std::string, std::string> option = {
        {"window", "200,100,640,600"}, {"length", "2400"}, {"step", "60"}, {"seed", "7"}};
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const bool flag = name == "--horizontal" || name == "--print-offset" || name == "--blink";
        if (name.rfind("--", 0) != 0 || (!flag && i + 1 == argc))
            return 2;
        option[name.substr(2)] = flag ? "1" : argv[++i];
    }
    const auto number = [&option](const char* name) { return std::atoi(option[name].c_str()); };
    int x = 0, y = 0, w = 0, h = 0;
    if (std::sscanf(option["window"].c_str(), "%d,%d,%d,%d", &x, &y, &w, &h) != 4 ||
        number("step") < 1 || number("length") < 1 || h <= headerHeight || w < 1)
        return 2;
    ScrollFixture window(QSize(w, h), number("length"), number("step"), unsigned(number("seed")),
                         option.count("horizontal") != 0);
    window.printOffset = option.count("print-offset") != 0;
    window.setOffset(number("offset"));
    if (option.count("write") &&
        !window.document().save(QString::fromStdString(option["write"]), "PNG"))
        return 1;
    window.setWindowTitle(QStringLiteral("korvel-scroll"));
    window.move(x, y);
    window.show();
    if (option.count("blink"))
        window.startTimer(400);
    if (window.printOffset) {
        std::printf("window %llu\n", static_cast<unsigned long long>(window.winId()));
        std::fflush(stdout);
    }
    return QApplication::exec();
}
