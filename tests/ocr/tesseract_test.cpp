#include "ocr/textrecognition.h"
#include "platform/error.h"
#include "textscenes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace korvel;

namespace {

QString read(const QImage& image) {
    return TextRecognition(createTextRecognizer()).recognize(image);
}

} // namespace

TEST(Tesseract, ReadsChineseAndEnglishScreenText) {
    for (int scale : {1, 2}) {
        const QString text = read(scenes::uiScreenshot(scale));
        const std::vector<scenes::Item> items = scenes::allItems();
        const double english = scenes::accuracy(items, false, text);
        const double chinese = scenes::accuracy(items, true, text);
        std::printf("scale %d: English %.4f, Chinese %.4f\n%s\n", scale, english, chinese,
                    qPrintable(text));
        EXPECT_GE(english, 0.98) << "scale " << scale;
        EXPECT_GE(chinese, 0.95) << "scale " << scale;
    }
}
