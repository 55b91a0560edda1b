#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;

namespace korvel {

class ScreenshotHistory;

// The capture preferences, read from the settings at the moment of use.
namespace CapturePreferences {
bool copyCloses();
// The toolbar index selected when the editor opens, 0 … 10.
int defaultTool();
} // namespace CapturePreferences

// "Korvel · 截图偏好": every change is written at once.
class CapturePreferencesWindow final : public QWidget {
public:
    explicit CapturePreferencesWindow(ScreenshotHistory& history, QWidget* parent = nullptr);

    void showWindow();
    // Writes all four values; called by every control.
    void changed();

    QCheckBox* copyClosesBox() const { return copyCloses_; }
    QCheckBox* historyBox() const { return history_; }
    QComboBox* toolPopup() const { return tool_; }
    QComboBox* limitPopup() const { return limit_; }

    // Shows the error of pruning after a limit change; tests replace it.
    std::function<void(const QString&)> showError;

private:
    void refresh();

    ScreenshotHistory& store_;
    QCheckBox* copyCloses_;
    QCheckBox* history_;
    QComboBox* tool_;
    QComboBox* limit_;
    bool refreshing_ = false;
};

} // namespace korvel
