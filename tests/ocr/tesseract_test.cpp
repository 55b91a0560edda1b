#include "ocr/textrecognition.h"
#include "textscenes.h"

#include <gtest/gtest.h>

using namespace korvel;

namespace {

QString read(const QImage& image) {
    return TextRecognition(createTextRecognizer()).recognize(image);
}

// A row of screen text, with an optional second column (a menu's shortcut).
struct Row {
    QString text;
    QColor ink;
    QColor ground = Qt::white;
    QString right = {};
    QColor rightInk = {};
};

struct Scene {
    const char* name;
    const char* family;
    int pixels;
    int spacing;
    double floor;
    std::vector<Row> rows;
    static Scene of(const char* name, const char* family, int pixels, int spacing, double floor,
                    std::vector<Row> rows) {
        return {name, family, pixels, spacing, floor, std::move(rows)};
    }
};

QImage draw(const Scene& scene) {
    QImage image(520, 16 + scene.spacing * int(scene.rows.size()), QImage::Format_RGB32);
    image.fill(scene.rows.front().ground);
    QPainter p(&image);
    QFont font = scenes::screenFont(scene.pixels);
    font.setFamily(QString::fromLatin1(scene.family));
    p.setFont(font);
    for (std::size_t i = 0; i < scene.rows.size(); ++i) {
        const Row& row = scene.rows[i];
        const int top = 8 + scene.spacing * int(i),
                  baseline = top + (scene.spacing + scene.pixels) / 2 - 2;
        p.fillRect(QRect(0, top, image.width(), scene.spacing), row.ground);
        p.setPen(row.ink);
        p.drawText(QPoint(12, baseline), row.text);
        p.setPen(row.rightInk);
        p.drawText(QPoint(300, baseline), row.right);
    }
    return image;
}

class Screens : public testing::TestWithParam<Scene> {};

const QColor grey(146, 149, 149), highlight(53, 132, 228), paleGrey(208, 208, 208),
    smallGrey(138, 143, 152);
const QString ctrl = QStringLiteral("Ctrl+");

} // namespace

// The faults of real screens (small grey Chinese text came back as Latin
// letters); each row is found with its shortcut, the floors just below today's.
TEST_P(Screens, ReadsEveryRow) {
    const Scene& scene = GetParam();
    const QString text = read(draw(scene));
    QStringList items;
    for (const Row& row : scene.rows)
        items << row.text + row.right;
    const double accuracy = scenes::accuracy(items, text);
    EXPECT_GE(accuracy, scene.floor) << text.toStdString();
    EXPECT_EQ(text.count(QLatin1Char('\n')) + 1, qsizetype(scene.rows.size()))
        << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Tesseract, Screens,
    testing::Values(
        Scene::of("Menu", "Noto Sans CJK SC", 13, 26, 0.95,
                  {{QStringLiteral("新建(N)"), Qt::black, Qt::white, ctrl + u'N', grey},
                   {QStringLiteral("打开(O)"), Qt::black, Qt::white, ctrl + u'O', grey},
                   {QStringLiteral("保存(S)"), Qt::white, highlight, ctrl + u'S', Qt::white},
                   {QStringLiteral("打印预览(V)"), grey},
                   {QStringLiteral("关闭(C)"), Qt::black, Qt::white, ctrl + u'W', grey}}),
        Scene::of("Terminal", "Noto Sans Mono CJK SC", 13, 18, 0.9,
                  {{QStringLiteral("终端 - wang@主机: ~/项目"), Qt::black, QColor(236, 236, 236)},
                   {QStringLiteral("$ ls -l 文档"), paleGrey, Qt::black},
                   {QStringLiteral("总用量 16 会议纪要.txt"), paleGrey, Qt::black},
                   {QStringLiteral("位于分支 main"), paleGrey, Qt::black},
                   {QStringLiteral("编译完成，共 3 个警告。"), paleGrey, Qt::black}}),
        Scene::of("SmallGreyText", "Noto Sans CJK SC", 12, 22, 0.9,
                  {{QStringLiteral("星云文档 首页 产品 下载"), QColor(243, 244, 246),
                    QColor(31, 41, 55)},
                   {QStringLiteral("剩下的步骤请参阅第三章。"), smallGrey},
                   {QStringLiteral("提示：识别文字功能完全在本机运行。"), smallGrey}})),
    [](const auto& info) { return std::string(info.param.name); });

// Lines just below the band borders come once, with their word spaces; a lone
// dot reads as nothing (a region of colour blocks: e2e.Capture's quick copy).
TEST(Tesseract, LinesOnBandBordersAppearOnceAndADotReadsAsNothing) {
    const QStringList lines = {
        QStringLiteral("Opening paragraph 17"), QStringLiteral("Exactly on the border 42"),
        QStringLiteral("Second border here 58"), QStringLiteral("Closing words 99")};
    QImage page(1000, 9000, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    p.setFont(scenes::screenFont(20));
    const int baselines[] = {407, 1807, 3607, 8007};
    for (int i = 0; i < 4; ++i)
        p.drawText(QPoint(40, baselines[i]), lines[i]);
    p.end();
    EXPECT_EQ(read(page), lines.join(QLatin1Char('\n')));
    QImage dot(1, 1, QImage::Format_ARGB32);
    dot.fill(Qt::black);
    EXPECT_EQ(read(dot), QString());
}
