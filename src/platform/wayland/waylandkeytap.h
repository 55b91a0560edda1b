#pragma once

#include "../keytap.h"

#include <QObject>

namespace korvel::wayland {

// Wayland shows no client the keys of another, so the long capture's keys
// work while one of Korvel's own windows (its panel) has the keyboard: they
// are taken from the window they were typed in.
class KeyTap final : public QObject, public korvel::KeyTap {
public:
    KeyTap() = default;
    ~KeyTap() override;

    bool start(qint64 targetPid) override;
    void stop() override;
    bool running() const override { return running_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool running_ = false;
};

} // namespace korvel::wayland
