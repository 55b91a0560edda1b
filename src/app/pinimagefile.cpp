#include "pinimagefile.h"

namespace korvel {

std::variant<PngFile, QString> readPinImage(const QString& path) {
    auto file = readPngFile(path);
    if (auto* png = std::get_if<PngFile>(&file)) {
        if (png->size.width() <= maximumPinSide && png->size.height() <= maximumPinSide)
            return std::move(*png);
        return describe({PngFileFault::Kind::tooLarge, png->size, {}});
    }
    return describe(std::get<PngFileFault>(file));
}

} // namespace korvel
