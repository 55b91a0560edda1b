#pragma once

#include "../hotkeys.h"

#include <QDBusMessage>
#include <QObject>

namespace korvel::portal {

// The capture shortcut through the GlobalShortcuts portal: Korvel proposes
// its stored shortcut, the desktop asks the user to confirm or change it
// and reports each press.
class HotKeys final : public QObject, public korvel::HotKeys {
    Q_OBJECT
public:
    HotKeys();
    ~HotKeys() override;

    bool registerHotKey(quint32 keyCode, quint32 modifiers) override;
    void unregisterHotKey() override;

    // The shortcut as the portal's preferred trigger ("CTRL+SHIFT+1").
    static QString trigger(const QString& keyName, quint32 modifiers);

    // The bus delivers to public slots only. (session handle, shortcut id,
    // timestamp, options)
public Q_SLOTS: // NOLINT(readability-redundant-access-specifiers): Q_SLOTS is empty to the compiler
    void onActivated(const QDBusMessage& message);

private:
    QString session_;
};

} // namespace korvel::portal
