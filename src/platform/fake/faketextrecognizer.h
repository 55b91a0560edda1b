#pragma once

#include "../error.h"
#include "../ocr/textrecognizer.h"

#include <functional>
#include <optional>

namespace korvel::fake {

// A recognizer whose answers the test gives: `read` gets each image with the
// number of the call. It records what it was asked. With `company` set it
// offers further engines that share `read`, for reading bands in parallel.
class TextRecognizer final : public korvel::TextRecognizer {
public:
    QStringList languages{QStringLiteral("zh-Hans"), QStringLiteral("en-US")};
    std::optional<Error> languageFailure;
    std::function<std::vector<RecognizedLine>(const QImage&, int call)> read;
    std::vector<QSize> sizes;
    std::vector<RecognitionRequest> requests;
    bool company = false;

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
    std::unique_ptr<korvel::TextRecognizer> another() const override {
        if (!company)
            return nullptr;
        auto other = std::make_unique<TextRecognizer>();
        other->read = read;
        other->company = true;
        return other;
    }
};

} // namespace korvel::fake
