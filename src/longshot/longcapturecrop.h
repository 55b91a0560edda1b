#pragma once

#include "longcaptureaxis.h"

#include <QDialog>
#include <QImage>
#include <QWidget>

#include <functional>

class QLineEdit;

namespace korvel {

// The long image with two blue lines for the rows cut from its ends. The
// image comes in stitching orientation and is shown as it will be exported.
class LongCaptureCropView final : public QWidget {
public:
    LongCaptureCropView(const QImage& image, LongCaptureAxis axis, LongCaptureCrop crop,
                        QWidget* parent = nullptr);

    std::function<void(const LongCaptureCrop&)> onChange;

    // Where the image is drawn, in widget coordinates.
    QRectF imageRect() const;
    // Rows from the leading end under a point along the axis.
    int rowAt(QPointF point) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // The two lines' positions along the axis, in widget coordinates.
    double leadingLine() const;
    double trailingLine() const;
    void dragTo(QPointF point);

    QImage shown_; // screen orientation
    LongCaptureAxis axis_;
    int length_;
    LongCaptureCrop crop_;
    bool draggingTop_ = true;
};

// "裁剪长图": the crop view above two fields for the leading and trailing
// rows. The dialog's result is one of Choice.
class LongCaptureCropSheet final : public QDialog {
public:
    enum Choice { cancel = 0, apply = 1, restoreFull = 2 };

    LongCaptureCropSheet(const QImage& image, LongCaptureAxis axis, LongCaptureCrop crop,
                         QWidget* parent = nullptr);

    LongCaptureCropView* view() const { return view_; }
    QLineEdit* leadingField() const { return leading_; }
    QLineEdit* trailingField() const { return trailing_; }

private:
    LongCaptureCropView* view_;
    QLineEdit* leading_;
    QLineEdit* trailing_;
};

} // namespace korvel
