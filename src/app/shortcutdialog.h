#pragma once

#include "shortcut/captureshortcut.h"

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
// Escape and a plain Return) reaches the alert, and one that cannot make a
// shortcut says why below the shortcut.
class ShortcutDialog final : public QObject {
public:
    // Button order of the alert, also the indexes the alert runner returns.
    enum Choice { save = 0, cancel = 1, restoreDefault = 2 };

    // `keyCodeOf` names the stored key code of the key behind a press,
    // `names` what a key code is called on the user's layout.
    ShortcutDialog(const CaptureShortcut& current,
                   std::function<std::optional<quint32>(const QKeyEvent&)> keyCodeOf,
                   KeyNames names = usKeyName);
    ~ShortcutDialog() override;

    QMessageBox& box() const { return *box_; }
    QLabel& shortcutLabel() const { return *label_; }
    // Why the last press made no shortcut; empty after one that did.
    QLabel& problemLabel() const { return *problem_; }
    const CaptureShortcut& pending() const { return pending_; }

    // What the user chose to register, from the alert's answer: nothing for
    // "取消" or a closed alert.
    std::optional<CaptureShortcut> result(int choice) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(const QString& label);

    std::unique_ptr<QMessageBox> box_;
    QLabel* label_ = nullptr;
    QLabel* problem_ = nullptr;
    CaptureShortcut pending_;
    std::function<std::optional<quint32>(const QKeyEvent&)> keyCodeOf_;
    KeyNames names_;
};

} // namespace korvel
