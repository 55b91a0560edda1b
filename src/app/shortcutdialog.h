#pragma once

#include "captureshortcut.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class QKeyEvent;
class QLabel;
class QMessageBox;

namespace korvel {

// The alert in which the user records a new capture shortcut. While it runs
// it sees every key press of the application: a press in the alert that makes
// a shortcut becomes the pending one and is consumed; every other press (so
// Escape and a plain Return) reaches the alert.
class ShortcutDialog final : public QObject {
public:
    // Button order of the alert, also the indexes the alert runner returns.
    enum Choice { save = 0, cancel = 1, restoreDefault = 2 };

    // `keyCodeOf` names the stored key code of the key behind a press.
    ShortcutDialog(const CaptureShortcut& current,
                   std::function<std::optional<quint32>(const QKeyEvent&)> keyCodeOf);
    ~ShortcutDialog() override;

    QMessageBox& box() const { return *box_; }
    QLabel& shortcutLabel() const { return *label_; }
    const CaptureShortcut& pending() const { return pending_; }

    // What the user chose to register, from the alert's answer: nothing for
    // "取消" or a closed alert.
    std::optional<CaptureShortcut> result(int choice) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<QMessageBox> box_;
    QLabel* label_ = nullptr;
    CaptureShortcut pending_;
    std::function<std::optional<quint32>(const QKeyEvent&)> keyCodeOf_;
};

} // namespace korvel
