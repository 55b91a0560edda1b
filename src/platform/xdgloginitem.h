#pragma once

#include "loginitem.h"

namespace korvel {

// An XDG autostart entry, "$XDG_CONFIG_HOME/autostart/korvel.desktop",
// started by every desktop that follows freedesktop.org's autostart rules.
// Written atomically; removing it turns starting at login off.
class XdgLoginItem final : public LoginItem {
public:
    // `executable` is what the entry starts: the running program unless a
    // test says otherwise.
    explicit XdgLoginItem(QString entryPath, QString executable);

    Status status() override;
    void registerItem() override;
    void unregisterItem() override;
    // The desktop never asks for approval; there is nothing to open.
    void openSystemSettings() override {}
    QString location() const override { return path_; }

    // The entry's path under the user's configuration folder.
    static QString defaultPath();
    // The entry's text for `executable`.
    static QByteArray entry(const QString& executable);

private:
    QString path_;
    QString executable_;
};

} // namespace korvel
