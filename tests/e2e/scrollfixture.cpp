// A scrolling document for the long capture's end-to-end tests and benchmark,
// titled "korvel-scroll": a sticky header band that never moves, and below it
// a viewport onto a long document drawn in code (text lines and coloured
// photo blocks, see src/longshot/longdocument.h). Every wheel click moves
// the document by a fixed number of pixels; nothing is smoothed or animated,
// so each scroll position shows exact document pixels.
//
//   scrollfixture [--horizontal] [--window X,Y,W,H] [--length N] [--step N]
//                 [--offset N] [--seed N] [--write FILE] [--print-offset]
//
// --horizontal lays the document out sideways: it is N columns long and
// scrolls left and right (horizontal wheel buttons, or the vertical wheel).
// Not --geometry: Qt takes that one for itself on X11. --offset starts the
// viewport that far into the document.
// --write stores the whole document, at the viewport's width (or height when
// horizontal), as PNG before the window opens. --print-offset prints
// "window ID" (the X window) once shown, then the offset after every change.
#include "longshot/longdocument.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPainter>
#include <QPixmap>
#include <QWheelEvent>
#include <QWidget>

#include <cstdio>

namespace {

constexpr int headerHeight = 40;

class ScrollFixture final : public QWidget {
public:
    ScrollFixture(QSize size, int length, int step, unsigned seed, bool horizontal)
        : step_(step)
        , horizontal_(horizontal) {
        setFixedSize(size);
        // A compositor without a cursor plane (headless sway) draws the
        // pointer into the screen, and so into every frame of the capture.
        // A blank shape is not enough there: Qt then sets no image at all.
        QPixmap clear(16, 16);
        clear.fill(Qt::transparent);
        setCursor(QCursor(clear));
        const QSize viewport(size.width(), size.height() - headerHeight);
        header_ =
            korvel::scenes::bandImage(size.width(), headerHeight, seed + 1, qRgb(228, 232, 242));
        if (horizontal) {
            // Drawn tall, then turned: the same mix of text and photos, read sideways.
            document_ = korvel::scenes::longDocument(viewport.height(), length, seed)
                            .transformed(QTransform().rotate(-90));
        } else {
            document_ = korvel::scenes::longDocument(viewport.width(), length, seed);
        }
        maximum_ = std::max(0, length - (horizontal ? viewport.width() : viewport.height()));
    }

    const QImage& document() const { return document_; }
    void setOffset(int offset) { offset_ = std::clamp(offset, 0, maximum_); }
    bool printOffset = false;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(0, 0, header_);
        const QRect viewport(0, headerHeight, width(), height() - headerHeight);
        const QRect source = horizontal_ ? QRect(offset_, 0, viewport.width(), viewport.height())
                                         : QRect(0, offset_, viewport.width(), viewport.height());
        p.drawImage(viewport.topLeft(), document_, source);
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
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption horizontal(QStringLiteral("horizontal"));
    const QCommandLineOption geometry(QStringLiteral("window"), {}, QStringLiteral("X,Y,W,H"),
                                      QStringLiteral("200,100,640,600"));
    const QCommandLineOption length(QStringLiteral("length"), {}, QStringLiteral("N"),
                                    QStringLiteral("2400"));
    const QCommandLineOption step(QStringLiteral("step"), {}, QStringLiteral("N"),
                                  QStringLiteral("60"));
    const QCommandLineOption seed(QStringLiteral("seed"), {}, QStringLiteral("N"),
                                  QStringLiteral("7"));
    const QCommandLineOption offset(QStringLiteral("offset"), {}, QStringLiteral("N"),
                                    QStringLiteral("0"));
    const QCommandLineOption write(QStringLiteral("write"), {}, QStringLiteral("FILE"));
    const QCommandLineOption printOffset(QStringLiteral("print-offset"));
    parser.addOptions({horizontal, geometry, length, step, offset, seed, write, printOffset});
    parser.process(app);

    const QStringList g = parser.value(geometry).split(QLatin1Char(','));
    const int steps = parser.value(step).toInt();
    const int rows = parser.value(length).toInt();
    if (g.size() != 4 || steps < 1 || rows < 1 || g[3].toInt() <= headerHeight ||
        g[2].toInt() < 1) {
        std::fprintf(stderr, "scrollfixture: bad geometry, length or step\n");
        return 2;
    }
    ScrollFixture window(QSize(g[2].toInt(), g[3].toInt()), rows, steps,
                         parser.value(seed).toUInt(), parser.isSet(horizontal));
    window.printOffset = parser.isSet(printOffset);
    window.setOffset(parser.value(offset).toInt());
    if (parser.isSet(write) && !window.document().save(parser.value(write), "PNG")) {
        std::fprintf(stderr, "scrollfixture: cannot write %s\n", qPrintable(parser.value(write)));
        return 1;
    }
    window.setWindowTitle(QStringLiteral("korvel-scroll"));
    window.move(g[0].toInt(), g[1].toInt());
    window.show();
    if (window.printOffset) {
        std::printf("window %llu\n", static_cast<unsigned long long>(window.winId()));
        std::fflush(stdout);
    }
    return QApplication::exec();
}
