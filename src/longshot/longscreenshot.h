#pragma once

#include "capture/screensnapshot.h"
#include "longcapturerules.h"
#include "longframestream.h"
#include "platform/keytap.h"
#include "platform/scrollposter.h"
#include "platform/windowlist.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QPushButton;
class QToolButton;

namespace korvel {

class LongCapturePanel;
class LongCapturePreview;
class LongCaptureRegionView;
class LongCaptureMoveButton;
class ScreenshotHistory;
class ToolbarIconButton;

// What a long capture needs from the rest of the application.
struct LongCaptureServices {
    WindowList* windows = nullptr;
    std::function<std::unique_ptr<WindowStream>()> openStream;
    KeyTap* keys = nullptr;
    // Absent, or without synthetic events: no automatic scrolling.
    ScrollPoster* scrolls = nullptr;
    bool canScroll = false;
    // Why there is no automatic scrolling, for the panel; where this is set
    // the button is not offered.
    QString noScrollReason;
    ScreenshotHistory* history = nullptr;
    qint64 ownPid = 0;
    // Root pixels against points, and maxY of the primary display in
    // global bottom-left points.
    DesktopLayout layout;
    double primaryTop = 0;
    // Device pixels per point on the region's display, in which the stream's
    // frames come: a scaled Wayland output has more than the layout's scale.
    double displayScale = 1;
    // Runs the save panel modally and returns its result; tests replace it.
    std::function<int(QDialog&)> runModal;
};

// One long capture: the window under the selected region is streamed, its
// frames are stitched one at a time on a worker while the user (or the
// capture) scrolls it, and the long image is copied, saved, pinned or handed
// on for editing. Lives on the main thread; its loop polls every 8 ms.
class LongScreenshot final : public QObject {
public:
    // `screenFrame` in global bottom-left points; `region` in the display's
    // local points (origin at its bottom-left corner).
    LongScreenshot(QRectF screenFrame, QRectF region, LongCaptureServices services);
    ~LongScreenshot() override;

    void start();
    void close();

    void togglePause();
    void toggleAutoScroll();
    void setDirection(LongCaptureAxis axis);
    void toggleAutomaticCrop(bool on) { automaticCrop_ = on; }
    void copyCurrent();
    void pinCurrent();
    void saveCurrent();
    // The crop sheet: rows to leave off either end of the export.
    void cropCurrent();
    void finishCapture();
    void moveCaptureRegion(QPointF delta);

    std::function<void(const QImage&)> onFinish;
    std::function<void()> onReady;
    std::function<void(std::optional<ScrollAppendResult>)> onMatchResult;
    std::function<void(const Error&)> onError;
    std::function<void()> onClose;
    std::function<bool(const QByteArray& png)> onPin;

    QString status() const;
    QString dimensions() const;
    bool paused() const { return paused_; }
    bool closed() const { return closed_; }
    bool failed() const { return captureFailed_; }
    bool autoScrolling() const { return autoScrolling_; }
    LongCaptureAxis axis() const { return axis_; }
    // The global top-left rectangle being captured.
    QRectF globalRegion() const;
    LongCapturePanel* controlPanel() const { return control_; }
    LongCapturePreview* preview() const { return preview_; }
    LongCaptureRegionView* regionView() const { return regionView_; }

private:
    void buildPanels();
    void layoutPanels();
    void findSource();
    void configureFrameStream();
    void schedule(int ms);
    void step();
    void stitch(LongCaptureFrame frame);
    void handleResult(const ScrollAppendResult& result, const QImage& frame);
    void fail(const Error& error);
    void setStatus(const QString& text);
    void setSticky(const QString& text);
    void setPaused(bool paused);
    void resetResult();
    void refreshPreview(bool force);
    void applyRegion(const QRectF& global, bool restart);
    void scrollAutomatically();
    // Where a synthetic step can reach the source window now; stops
    // automatic scrolling, saying why, when nowhere.
    std::optional<QPointF> autoScrollTarget();
    bool userScrolled(const ScrollAppendResult& result) const;
    void stopAutoScroll(const std::optional<QString>& message);
    void beginStitching(const QImage& first);
    QString readyText() const;
    bool sourceUnchanged();
    // Waits for the queued frames, then hands over the image as exported,
    // or with `whole` the full stitched image in stitching orientation.
    void readResult(std::function<void(const QImage&)> then, bool whole = false);
    std::optional<QByteArray> png(const QImage& image);
    double now() const { return double(clock_.nsecsElapsed()) / 1e9; }

    const QRectF screenFrame_;
    QRectF region_;
    LongCaptureServices services_;
    QElapsedTimer clock_;

    LongCapturePanel* control_ = nullptr;
    LongCapturePanel* previewWindow_ = nullptr;
    LongCapturePreview* preview_ = nullptr;
    LongCaptureRegionView* regionView_ = nullptr;
    LongCaptureMoveButton* moveButton_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* dimensions_ = nullptr;
    QComboBox* direction_ = nullptr;
    QPushButton* autoButton_ = nullptr;
    QComboBox* speed_ = nullptr;
    ToolbarIconButton* pauseButton_ = nullptr;
    ToolbarIconButton* finishButton_ = nullptr;
    QCheckBox* cropCheck_ = nullptr;

    LongCaptureAxis axis_ = LongCaptureAxis::vertical;
    LongCaptureCrop cropEdges_;
    qint64 regionGeneration_ = 0;
    LongCaptureFeedback feedback_;
    bool autoScrolling_ = false;
    int autoPostedCount_ = 0;
    bool paused_ = false;
    qint64 sourcePid_ = 0;
    quint32 sourceWindow_ = 0;
    double lastAutoScroll_ = -1;
    bool awaitingAutoFrame_ = false;
    double lastTargetCheck_ = -1;
    // How far one wheel click scrolls the source, learnt from the rows
    // appended after each synthetic step (pixels, latest last).
    std::vector<double> pixelsPerClick_;
    int lastAutoClicks_ = 0;
    int rowsSinceAutoStep_ = 0;
    double autoInterval_ = 0.3;
    // The first frame waits until the window has stopped changing: it may
    // still be painting, or repainting as it is brought to the front.
    QImage pendingFirst_;
    double pendingSince_ = -1;
    double pendingAt_ = -1;
    double lastProgress_ = 0;
    double lastPreviewRefresh_ = -1;
    bool previewDirty_ = false;
    std::optional<QString> sticky_;
    std::unique_ptr<LongFrameStream> stream_;
    QRectF sourceFrame_; // global top-left points
    double sourceScale_ = 1;
    double lastSourceCheck_ = -1;
    // Shared with the worker that appends, so a reset never frees it under it.
    std::shared_ptr<ScrollStitcher> stitcher_;
    bool closed_ = false;
    bool processing_ = false;
    bool captureFailed_ = false;
    bool movingRegion_ = false;
    QRectF moveOrigin_;
    bool automaticCrop_ = true;
    bool captureReverseDirection_ = false;
    int consecutiveUnmatched_ = 0;
    QRectF constraint_; // global top-left points
    QTimer loop_;
    QTimer reader_;
};

} // namespace korvel
