#pragma once

#include "export/toolbarbuttons.h"
#include "tool.h"

#include <QColor>
#include <QWidget>

#include <functional>
#include <optional>

class QBoxLayout;
class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace korvel {

// The tool of a toolbar index: 0 moves the selection, 1 selects marks only,
// 2 … 10 are the tools by raw value + 2.
std::optional<Tool> toolForIndex(int index);

// The floating palette beside a selection. It keeps no annotation state: it
// reports every choice through its callbacks and shows what the host tells it.
class AnnotationToolbar final : public QWidget {
    Q_OBJECT

public:
    explicit AnnotationToolbar(int availableWidth, QWidget* parent = nullptr);

    std::function<void()> onLayoutChange;
    std::function<void(int)> onTool;
    std::function<void(MosaicMode)> onMosaicMode;
    std::function<void(const QColor&)> onColor;
    std::function<void(double)> onWidth;
    std::function<void(double)> onFontSize;
    std::function<void()> onUndo, onRedo, onPin, onLongCapture, onCopy, onSave, onClose;
    std::function<void(bool copyAtOnce)> onOCR;

    void selectTool(int index);
    void updateContext(std::optional<Tool> selectedTool, std::optional<MosaicMode> mode);
    void updateStyle(const QColor& color, double width);
    void setFontSizeText(const QString& text);
    // True when the key press was a toolbar shortcut and is consumed.
    bool handleShortcut(const QKeyEvent& event);
    void flashCopied();
    void disableActions(const QStringList& titles);
    // Keeps the style row's room while it is hidden, for hosts that lay
    // their content out below the toolbar and must not see it jump.
    void reserveStyleRow();

    int activeTool() const { return activeTool_; }
    MosaicMode mosaicMode() const { return mosaicMode_; }
    bool isCompact() const { return compact_; }
    // Look-ups by title or identifier, for hosts and tests.
    QToolButton* button(const QString& title) const;
    QWidget* styleRow() const { return styleRow_; }
    QWidget* fontGroup() const { return fontGroup_; }
    QWidget* colorGroup() const { return colorGroup_; }
    QLabel* widthLabel() const { return widthLabel_; }
    const QList<StrokeWidthButton*>& widths() const { return widths_; }
    QLineEdit* fontSizeField() const { return fontSizeField_; }

private:
    ToolbarIconButton* icon(const QString& title, const QString& symbol,
                            std::function<void()> action, QChar key = QChar());
    void refit();

    QWidget* content_ = nullptr;
    QWidget* styleRow_ = nullptr;
    QWidget* fontGroup_ = nullptr;
    QWidget* colorGroup_ = nullptr;
    QWidget* colorDivider_ = nullptr;
    QLabel* widthLabel_ = nullptr;
    QWidget* mosaicModeControl_ = nullptr;
    QToolButton* brushSegment_ = nullptr;
    QToolButton* rectangleSegment_ = nullptr;
    MosaicMode mosaicMode_ = MosaicMode::brush;
    int activeTool_ = 0;
    QList<QToolButton*> buttons_; // every button, also before it is placed
    QList<ToolbarIconButton*> tools_;
    QList<ColorSwatchButton*> colors_;
    QList<StrokeWidthButton*> widths_;
    QLineEdit* fontSizeField_ = nullptr;
    bool compact_ = false;
};

} // namespace korvel
