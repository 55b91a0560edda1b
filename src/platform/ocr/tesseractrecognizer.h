#pragma once

#include "textrecognizer.h"

#include <QMap>

#include <memory>

struct Pix;

namespace tesseract {
class TessBaseAPI;
}

namespace korvel::ocr {

struct Row;

// Tesseract 5 with its LSTM models. Loading a language set takes a few
// hundred milliseconds, so the engine stays loaded between calls as long as
// the languages do not change.
class TesseractRecognizer final : public TextRecognizer {
public:
    explicit TesseractRecognizer(QString dataPath);
    ~TesseractRecognizer() override;

    QStringList supportedLanguages() override;
    std::vector<RecognizedLine> recognize(const QImage& image, const RecognitionRequest& request,
                                          const std::atomic<bool>& cancelled) override;
    std::unique_ptr<TextRecognizer> another() const override;

    // The folder the language data is read from.
    const QString& dataPath() const { return dataPath_; }
    // Tesseract's name of a language tag ("zh-Hans" is "chi_sim"); empty
    // for languages it has no model for.
    static QString modelName(const QString& tag);

private:
    using Api = std::unique_ptr<tesseract::TessBaseAPI>;
    void load(Api& api, QString& loaded, const QString& models);
    void rereadLatin(std::vector<Row>& rows, Pix* pix, const std::atomic<bool>& cancelled);

    QString dataPath_;
    Api api_;
    QString loaded_;
    // English alone, for the word spacing of Latin lines.
    Api latin_;
    QString latinLoaded_;
};

} // namespace korvel::ocr
