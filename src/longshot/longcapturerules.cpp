#include "longcapturerules.h"

#include <algorithm>
#include <cmath>

namespace korvel {

LongCaptureFeedback::Outcome LongCaptureFeedback::record(const ScrollAppendResult& result) {
    using Kind = ScrollAppendResult::Kind;
    switch (result.kind) {
    case Kind::appended:
        ++segments;
        unchanged = 0;
        unmatched = 0;
        return {QStringLiteral("已拼接。继续滚动，或直接复制、保存。"), false};
    case Kind::cropped:
        unchanged = 0;
        unmatched = 0;
        return {QStringLiteral("已按回滚位置裁剪，可继续滚动。"), false};
    case Kind::unchanged: {
        const bool recovered = unmatched >= 1;
        ++unchanged;
        unmatched = 0;
        if (recovered)
            return {QStringLiteral("已回到匹配位置，可继续滚动。"), false};
        if (unchanged > 3)
            return {QStringLiteral("画面未变化；若已到底，可直接复制或保存。"), false};
        return {std::nullopt, false};
    }
    case Kind::unmatched:
        unchanged = 0;
        ++unmatched;
        return {QStringLiteral("尚未匹配，已有内容已保留。请沿刚才滚动的反方向稍作回滚；"
                               "预览红框表示匹配中断。"),
                false};
    case Kind::limit:
        return {QStringLiteral("已达到长度上限，已有内容保留，可复制或保存。"), true};
    }
    return {};
}

LongCaptureLayout longCaptureLayout(const QRectF& region, const QRectF& screen,
                                    const QSizeF& toolbar, const QSizeF& preview) {
    // y grows upward: QRectF's top() is the minimum y, bottom() the maximum.
    const QRectF b = screen.adjusted(8, 8, -8, -8);
    const double tw = toolbar.width(), th = toolbar.height();
    const double pw = preview.width(), ph = preview.height();
    double ty = region.top() - th - 8;
    if (ty < b.top())
        ty = region.bottom() + 8;
    if (ty + th > b.bottom())
        ty = b.top();
    const double tx = std::min(b.right() - tw, std::max(region.right() - tw, b.left()));
    double px = region.right() + 12;
    if (px + pw > b.right())
        px = region.left() - pw - 12;
    if (px < b.left())
        px = b.right() - pw;
    const double py = std::min(b.bottom() - ph, std::max(region.bottom() - ph, b.top()));
    return {QRectF(tx, ty, tw, th), QRectF(px, py, pw, ph)};
}

int autoScrollStep(double regionLength, int speedIndex) {
    static constexpr double fractions[] = {0.06, 0.1, 0.16};
    const double fraction = fractions[std::clamp(speedIndex, 0, 2)];
    const double step = std::clamp(regionLength * fraction, 8.0, 96.0);
    return std::isfinite(step) ? int(step) : 0;
}

QString autoScrollStatus(bool horizontal, bool reverse) {
    const QString direction = horizontal ? (reverse ? QStringLiteral("左") : QStringLiteral("右"))
                                         : (reverse ? QStringLiteral("上") : QStringLiteral("下"));
    return QStringLiteral("自动向") + direction + QStringLiteral("滚动中；空格停止，Enter 复制。");
}

void clampCrop(int& leading, int& trailing, int length) {
    leading = std::max(0, std::min(leading, length - 1));
    trailing = std::max(0, std::min(trailing, length - leading - 1));
}

std::optional<LongCaptureCrop> cropFromFields(const QString& leading, const QString& trailing,
                                              int length) {
    bool leadingOk = false;
    bool trailingOk = false;
    const qint64 l = leading.trimmed().toLongLong(&leadingOk);
    const qint64 t = trailing.trimmed().toLongLong(&trailingOk);
    if (!leadingOk || !trailingOk || l < 0 || t < 0 || l >= length || t >= length - l)
        return std::nullopt;
    return LongCaptureCrop{int(l), int(t)};
}

LongCaptureCrop draggedCrop(LongCaptureCrop crop, bool leadingLine, int row, int length) {
    if (leadingLine)
        crop.leading = std::min(std::max(row, 0), length - crop.trailing - 1);
    else
        crop.trailing = std::min(std::max(length - row, 0), length - crop.leading - 1);
    return crop;
}

} // namespace korvel
