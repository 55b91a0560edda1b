#pragma once

#include "../error.h"
#include "../loginitem.h"

#include <optional>

namespace korvel::fake {

// A login item whose state and failures the test sets.
class LoginItem final : public korvel::LoginItem {
public:
    Status current = Status::notRegistered;
    // What a successful registration leaves (the real service may ask for
    // approval instead of enabling at once).
    Status afterRegister = Status::enabled;
    std::optional<Error> failure;
    int registrations = 0;
    int unregistrations = 0;
    int settingsOpened = 0;

    Status status() override { return current; }
    void registerItem() override {
        ++registrations;
        if (failure)
            throw *failure;
        current = afterRegister;
    }
    void unregisterItem() override {
        ++unregistrations;
        if (failure)
            throw *failure;
        current = Status::notRegistered;
    }
    void openSystemSettings() override { ++settingsOpened; }
    QString location() const override { return QStringLiteral("autostart/korvel.desktop"); }
};

} // namespace korvel::fake
