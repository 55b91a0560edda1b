#pragma once

#include "../error.h"
#include "../ocr/textrecognizer.h"

#include <functional>
#include <optional>

namespace korvel::fake {

// A recognizer whose answers the test gives: `read` gets each image with the
// number of the call. It records what it was asked.
class TextRecognizer final : public korvel::TextRecognizer {
public:
    QStringList languages{QStringLiteral("zh-Hans"), QStringLiteral("en-US")};
    std::optional<Error> languageFailure;
    std::function<std::vector<RecognizedLine>(const QImage&, int call)> read;
    std::vector<QSize> sizes;
    std::vector<RecognitionRequest> requests;

    QStringList supportedLanguages() override {
        if (languageFailure)
            throw *languageFailure;
        return languages;
    }
    std::vector<RecognizedLine> recognize(const QImage& image, const RecognitionRequest& request,
                                          const std::atomic<bool>&) override {
        sizes.push_back(image.size());
        requests.push_back(request);
        return read ? read(image, int(sizes.size()) - 1) : std::vector<RecognizedLine>{};
    }
};

} // namespace korvel::fake
