#include "annotationtoolbar.h"

#include "annotationpreferences.h"

#include <QButtonGroup>
#include <QDoubleValidator>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace korvel {
namespace {

struct ToolEntry {
    const char* title;
    const char* symbol;
    const char* id;
};

// By index; the order on screen puts the ellipse right after the rectangle.
const ToolEntry toolTable[] = {
    {"移动选区", "move", "move"},
    {"选择标注", "select", "select"},
    {"矩形", "rectangle", "rectangle"},
    {"箭头", "arrow", "arrow"},
    {"手绘", "pen", "pen"},
    {"文字", "text", "text"},
    {"圆形", "ellipse", "ellipse"},
    {"马赛克", "", "mosaic"},
    {"模糊", "blur", "blur"},
    {"编号", "number", "number"},
    {"高亮", "highlight", "highlight"},
};
const int displayOrder[] = {0, 1, 2, 6, 3, 4, 5, 7, 8, 9, 10};

const std::pair<const char*, QColor> colorTable[] = {
    {"红色", QColor(255, 59, 48)}, {"黄色", QColor(255, 204, 0)},   {"绿色", QColor(52, 199, 89)},
    {"蓝色", QColor(0, 122, 255)}, {"白色", QColor(255, 255, 255)}, {"黑色", QColor(0, 0, 0)},
};
const std::pair<const char*, double> widthTable[] = {{"细线", 1.5}, {"中线", 3}, {"粗线", 6}};

QWidget* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::VLine);
    line->setFixedSize(1, 20);
    line->setStyleSheet(QStringLiteral("background: rgba(0,0,0,40); border: none;"));
    return line;
}

QWidget* row(std::initializer_list<QWidget*> widgets, int spacing) {
    auto* w = new QWidget;
    auto* layout = new QHBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* child : widgets)
        layout->addWidget(child, 0, Qt::AlignVCenter);
    return w;
}

double colorDistance(const QColor& a, const QColor& b) {
    const QColor x = a.toRgb(), y = b.toRgb();
    if (!x.isValid() || !y.isValid())
        return 1e9;
    return std::abs(x.redF() - y.redF()) + std::abs(x.greenF() - y.greenF()) +
           std::abs(x.blueF() - y.blueF()) + std::abs(x.alphaF() - y.alphaF());
}

} // namespace

std::optional<Tool> toolForIndex(int index) {
    return index >= 2 ? toolFromRaw(index - 2) : std::nullopt;
}

AnnotationToolbar::AnnotationToolbar(int availableWidth, QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground);
    setObjectName(QStringLiteral("annotationToolbar"));
    setStyleSheet(
        QStringLiteral("#annotationToolbar { background: rgb(250,250,250); border-radius: 10px; }"
                       "QLabel { color: rgb(40,40,40); }"));

    for (int i = 0; i < 11; ++i) {
        const ToolEntry& t = toolTable[i];
        const QString title = QString::fromUtf8(t.title);
        auto* b = icon(title, QString::fromLatin1(t.symbol), [this, i] {
            selectTool(i);
            if (onTool)
                onTool(i);
        });
        if (i == 7)
            b->setSymbol(mosaicIcon());
        b->indicatesSelection = true;
        b->setCheckable(true);
        b->setObjectName(QStringLiteral("tool.") + QString::fromLatin1(t.id));
        tools_.append(b);
    }
    for (const auto& [name, color] : colorTable) {
        auto* b = new ColorSwatchButton(QString::fromUtf8(name), color);
        buttons_.append(b);
        connect(b, &QToolButton::clicked, this, [this, c = color] {
            if (onColor)
                onColor(c);
        });
        colors_.append(b);
    }
    for (const auto& [name, width] : widthTable) {
        auto* b = new StrokeWidthButton(QString::fromUtf8(name), width);
        buttons_.append(b);
        connect(b, &QToolButton::clicked, this, [this, w = width] {
            if (onWidth)
                onWidth(w);
        });
        widths_.append(b);
    }

    auto* toolsRow = new QWidget;
    auto* toolsLayout = new QHBoxLayout(toolsRow);
    toolsLayout->setContentsMargins(0, 0, 0, 0);
    toolsLayout->setSpacing(3);
    for (int i : displayOrder)
        toolsLayout->addWidget(tools_[i]);

    auto action = [](std::function<void()>& callback) {
        return [&callback] {
            if (callback)
                callback();
        };
    };
    QWidget* actions =
        row({icon(QStringLiteral("识别文字"), QStringLiteral("ocr"),
                  [this] {
                      if (onOCR)
                          onOCR(false);
                  }),
             icon(QStringLiteral("长截图"), QStringLiteral("longcapture"), action(onLongCapture)),
             icon(QStringLiteral("撤销"), QStringLiteral("undo"), action(onUndo), u'z'),
             icon(QStringLiteral("重做"), QStringLiteral("redo"), action(onRedo)),
             icon(QStringLiteral("贴图"), QStringLiteral("pin"), action(onPin), u'p'),
             icon(QStringLiteral("保存"), QStringLiteral("save"), action(onSave), u's'),
             icon(QStringLiteral("关闭"), QStringLiteral("close"), action(onClose)),
             icon(QStringLiteral("复制"), QStringLiteral("copy"), action(onCopy), u'c')},
            3);
    button(QStringLiteral("长截图"))
        ->setToolTip(QStringLiteral("长截图 · 选择滚动内容区域后缓慢向下滚动"));
    auto* close = static_cast<ToolbarIconButton*>(button(QStringLiteral("关闭")));
    close->setToolTip(QStringLiteral("关闭 · Esc"));
    close->tint = QColor(255, 59, 48);
    close->setSymbol(toolbarIcon(QStringLiteral("close"), close->tint));
    auto* copy = static_cast<ToolbarIconButton*>(button(QStringLiteral("复制")));
    copy->tint = QColor(52, 199, 89);
    copy->setSymbol(toolbarIcon(QStringLiteral("copy"), copy->tint));

    colorGroup_ = new QWidget;
    auto* colorLayout = new QHBoxLayout(colorGroup_);
    colorLayout->setContentsMargins(0, 0, 0, 0);
    colorLayout->setSpacing(3);
    for (auto* c : colors_)
        colorLayout->addWidget(c);
    auto* widthStack = new QWidget;
    auto* widthLayout = new QHBoxLayout(widthStack);
    widthLayout->setContentsMargins(0, 0, 0, 0);
    widthLayout->setSpacing(2);
    for (auto* w : widths_)
        widthLayout->addWidget(w);

    fontSizeField_ = new QLineEdit(QStringLiteral("24"));
    fontSizeField_->setFixedWidth(42);
    fontSizeField_->setAlignment(Qt::AlignCenter);
    fontSizeField_->setToolTip(QStringLiteral("文字／编号字号（10–96）"));
    fontSizeField_->setAccessibleName(QStringLiteral("文字／编号字号"));
    fontSizeField_->setValidator(new QDoubleValidator(0, 1000, 1, fontSizeField_));
    connect(fontSizeField_, &QLineEdit::editingFinished, this, [this] {
        bool ok = false;
        const double size = fontSizeField_->text().toDouble(&ok);
        if (ok && onFontSize)
            onFontSize(size);
    });
    fontGroup_ = row({divider(), new QLabel(QStringLiteral("字号")), fontSizeField_}, 8);

    mosaicModeControl_ = new QWidget;
    mosaicModeControl_->setObjectName(QStringLiteral("mosaic.mode"));
    mosaicModeControl_->setAccessibleName(QStringLiteral("马赛克模式"));
    auto* segments = new QHBoxLayout(mosaicModeControl_);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    auto* group = new QButtonGroup(mosaicModeControl_);
    brushSegment_ = new QToolButton;
    brushSegment_->setText(QStringLiteral("涂抹"));
    rectangleSegment_ = new QToolButton;
    rectangleSegment_->setText(QStringLiteral("框选"));
    for (QToolButton* s : {brushSegment_, rectangleSegment_}) {
        s->setCheckable(true);
        s->setAutoRaise(true);
        group->addButton(s);
        buttons_.append(s);
        segments->addWidget(s);
    }
    brushSegment_->setChecked(true);
    connect(group, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* b) {
        mosaicMode_ = b == brushSegment_ ? MosaicMode::brush : MosaicMode::rectangle;
        if (onMosaicMode)
            onMosaicMode(mosaicMode_);
        updateContext(std::nullopt, std::nullopt);
    });

    widthLabel_ = new QLabel(QStringLiteral("笔刷大小"));
    colorDivider_ = divider();
    // The colours and the privacy tools' captions take turns in one slot as
    // wide as the wider of the two, and the row keeps its left edge: no
    // swatch or width button moves under the pointer when the tool changes.
    QWidget* lead = row({colorGroup_, colorDivider_, mosaicModeControl_, widthLabel_}, 8);
    static_cast<QHBoxLayout*>(lead->layout())->addStretch(1);
    lead->setFixedWidth(
        std::max(colorGroup_->sizeHint().width() + 8 + colorDivider_->sizeHint().width(),
                 mosaicModeControl_->sizeHint().width() + 8 + widthLabel_->sizeHint().width()));
    styleRow_ = row({lead, widthStack, fontGroup_}, 8);
    static_cast<QHBoxLayout*>(styleRow_->layout())->addStretch(1);

    QWidget* topRow = row({toolsRow, divider(), actions}, 8);
    compact_ = topRow->sizeHint().width() + 20 > availableWidth;
    content_ = new QWidget(this);
    auto* rows = new QVBoxLayout(content_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);
    if (compact_) {
        // The top row's parts become rows of their own.
        toolsRow->setParent(nullptr);
        actions->setParent(nullptr);
        delete topRow;
        rows->addWidget(toolsRow, 0, Qt::AlignHCenter);
        rows->addWidget(actions, 0, Qt::AlignHCenter);
    } else {
        rows->addWidget(topRow, 0, Qt::AlignHCenter);
    }
    rows->addWidget(styleRow_, 0, Qt::AlignLeft);

    selectTool(0);
    updateStyle(systemRed(), 3);
}

ToolbarIconButton* AnnotationToolbar::icon(const QString& title, const QString& symbol,
                                           std::function<void()> action, QChar key) {
    auto* b = new ToolbarIconButton(title, symbol.isEmpty() ? QIcon() : toolbarIcon(symbol));
    buttons_.append(b);
    b->setObjectName(QStringLiteral("action.") + title);
    if (!key.isNull()) {
        // Command on the original keyboard is Control here; the tip names it
        // as the capture shortcut's label does.
        b->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(key.toUpper().unicode())));
        b->setToolTip(title + QStringLiteral(" · Ctrl+") + key.toUpper());
    }
    if (title == QStringLiteral("识别文字"))
        b->setToolTip(QStringLiteral("识别文字 · Shift+C 快速复制文字"));
    connect(b, &QToolButton::clicked, this, [action = std::move(action)] { action(); });
    return b;
}

QToolButton* AnnotationToolbar::button(const QString& title) const {
    for (QToolButton* b : buttons_) {
        if (b->text() == title || b->objectName() == title)
            return b;
    }
    return nullptr;
}

void AnnotationToolbar::selectTool(int index) {
    activeTool_ = index;
    for (qsizetype i = 0; i < tools_.size(); ++i)
        tools_[i]->setChecked(i == index);
    updateContext(std::nullopt, std::nullopt);
}

void AnnotationToolbar::updateContext(std::optional<Tool> selected,
                                      std::optional<MosaicMode> mode) {
    if (mode)
        mosaicMode_ = *mode;
    if (!styleRow_)
        return;
    styleRow_->setVisible(selected || activeTool_ >= 2);
    const std::optional<Tool> t = selected ? selected : toolForIndex(activeTool_);
    fontGroup_->setVisible(t == Tool::text || t == Tool::number);
    mosaicModeControl_->setVisible(t == Tool::mosaic);
    (mosaicMode_ == MosaicMode::brush ? brushSegment_ : rectangleSegment_)->setChecked(true);
    const bool privacy = t == Tool::mosaic || t == Tool::blur;
    colorGroup_->setVisible(!privacy);
    colorDivider_->setVisible(!privacy);
    widthLabel_->setVisible(privacy);
    const bool brush = t == Tool::mosaic && mosaicMode_ == MosaicMode::brush;
    const bool grains = t == Tool::mosaic && mosaicMode_ == MosaicMode::rectangle;
    widthLabel_->setText(brush    ? QStringLiteral("笔刷大小")
                         : grains ? QStringLiteral("颗粒大小")
                                  : QStringLiteral("模糊强度"));
    const QString sizes[] = {QStringLiteral("小"), QStringLiteral("中"), QStringLiteral("大")};
    const QString levels[] = {QStringLiteral("低"), QStringLiteral("中"), QStringLiteral("高")};
    for (qsizetype i = 0; i < widths_.size(); ++i) {
        StrokeWidthButton* b = widths_[i];
        QString tip;
        if (brush)
            tip = sizes[i] + QStringLiteral("号笔刷 · ") +
                  QString::number(int(std::max(b->strokeWidth * 10, 18.0))) + QStringLiteral(" pt");
        else if (grains)
            tip = sizes[i] + QStringLiteral("颗粒");
        else if (t == Tool::blur)
            tip = levels[i] + QStringLiteral("强度");
        else
            tip = b->name + QStringLiteral(" · ") + QString::number(b->strokeWidth, 'f', 1) +
                  QStringLiteral(" pt");
        b->setToolTip(tip);
        b->setAccessibleName(tip);
    }
    refit();
}

void AnnotationToolbar::reserveStyleRow() {
    QSizePolicy policy = styleRow_->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    styleRow_->setSizePolicy(policy);
    refit();
}

void AnnotationToolbar::refit() {
    content_->adjustSize();
    content_->move(10, 8);
    resize(content_->sizeHint() + QSize(20, 16));
    if (onLayoutChange)
        onLayoutChange();
}

void AnnotationToolbar::updateStyle(const QColor& color, double width) {
    for (auto* c : colors_)
        c->setChecked(colorDistance(c->color, color) < 0.01);
    for (auto* w : widths_)
        w->setChecked(std::abs(w->strokeWidth - width) < 0.01);
}

void AnnotationToolbar::setFontSizeText(const QString& text) {
    fontSizeField_->setText(text);
}

bool AnnotationToolbar::handleShortcut(const QKeyEvent& event) {
    const Qt::KeyboardModifiers held =
        event.modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (held != Qt::ShiftModifier)
        return false;
    // The physical key counts, whatever Shift makes of it on this layout:
    // X key codes where the platform gives them, Qt keys otherwise.
    struct Entry {
        quint32 scanCode;
        int key;
        int shiftedKey;
        int index; // -1: text recognition
    };
    const Entry entries[] = {
        {54, Qt::Key_C, Qt::Key_C, -1},         {10, Qt::Key_1, Qt::Key_Exclam, 2},
        {12, Qt::Key_3, Qt::Key_NumberSign, 3}, {13, Qt::Key_4, Qt::Key_Dollar, 9},
        {14, Qt::Key_5, Qt::Key_Percent, 4},    {15, Qt::Key_6, Qt::Key_AsciiCircum, 10},
        {16, Qt::Key_7, Qt::Key_Ampersand, 7},  {17, Qt::Key_8, Qt::Key_Asterisk, 5},
    };
    for (const Entry& e : entries) {
        const bool match = event.nativeScanCode() != 0
                               ? event.nativeScanCode() == e.scanCode
                               : event.key() == e.key || event.key() == e.shiftedKey;
        if (!match)
            continue;
        if (e.index < 0) {
            if (onOCR)
                onOCR(true);
        } else {
            selectTool(e.index);
            if (onTool)
                onTool(e.index);
        }
        return true;
    }
    return false;
}

void AnnotationToolbar::flashCopied() {
    auto* copy = static_cast<ToolbarIconButton*>(button(QStringLiteral("复制")));
    if (!copy)
        return;
    copy->setSymbol(toolbarIcon(QStringLiteral("copied"), copy->tint));
    copy->setAccessibleName(QStringLiteral("已复制"));
    QTimer::singleShot(1200, copy, [copy] {
        copy->setSymbol(toolbarIcon(QStringLiteral("copy"), copy->tint));
        copy->setAccessibleName(QStringLiteral("复制"));
    });
}

void AnnotationToolbar::disableActions(const QStringList& titles) {
    for (QToolButton* b : buttons_) {
        if (titles.contains(b->text()))
            b->setEnabled(false);
    }
}

} // namespace korvel
