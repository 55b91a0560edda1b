// Known nested widgets: a white sidebar with a list and a button beside a content
// pane; with "flat", two borderless panels in the window's colour that only the
// accessibility tree tells apart. Once shown, prints "name x y w h" of each part.
//   a11yfixture X Y [flat]
#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4)
        return 2;
    QWidget window;
    window.setWindowTitle(QStringLiteral("korvel-a11y-fixture"));
    window.setObjectName(QStringLiteral("window"));
    window.setGeometry(std::atoi(argv[1]), std::atoi(argv[2]), 900, 600);
    window.setStyleSheet(QStringLiteral("QWidget#window { background: #f0f0f0; }"
                                        "QFrame#sidebar { background: white; }"
                                        "QFrame#content { background: #e4e6ea; }"));
    auto* layout = new QHBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    std::vector<std::pair<const char*, QWidget*>> parts = {{"window", &window}};
    if (argc == 4) {
        layout->setSpacing(0);
        for (const char* name : {"left", "right"}) {
            parts.emplace_back(name, new QFrame);
            layout->addWidget(parts.back().second);
        }
    } else {
        auto* sidebar = new QFrame;
        sidebar->setObjectName(QStringLiteral("sidebar"));
        sidebar->setFixedWidth(260);
        auto* list = new QListWidget;
        for (int i = 0; i < 6; ++i)
            list->addItem(QStringLiteral("项目 %1").arg(i + 1));
        auto* button = new QPushButton(QStringLiteral("新建"));
        auto* side = new QVBoxLayout(sidebar);
        side->addWidget(list);
        side->addWidget(button);
        auto* content = new QFrame;
        content->setObjectName(QStringLiteral("content"));
        layout->addWidget(sidebar);
        layout->addWidget(content, 1);
        parts.insert(parts.end(), {{"sidebar", sidebar}, {"list", list}, {"button", button}});
    }
    window.show();
    // After the window manager has placed the window.
    QTimer::singleShot(800, &app, [&parts] {
        for (const auto& [name, w] : parts) {
            const QPoint at = w->mapToGlobal(QPoint(0, 0));
            std::printf("%s %d %d %d %d\n", name, at.x(), at.y(), w->width(), w->height());
        }
        std::fflush(stdout);
    });
    return QApplication::exec();
}
