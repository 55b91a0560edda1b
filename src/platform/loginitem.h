#pragma once

#include <QString>

#include <memory>

namespace korvel {

// Whether the program starts when the user logs in.
class LoginItem {
public:
    enum class Status {
        notRegistered,
        enabled,
        // Registered, but the system waits for the user to allow it.
        requiresApproval,
    };

    virtual ~LoginItem() = default;

    virtual Status status() = 0;
    // Both throw an Error whose description says what failed.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;
    // Where the user approves or manages login items.
    virtual void openSystemSettings() = 0;
    // Where the registration lives, for the user to find it when a change
    // fails (a file path on Linux).
    virtual QString location() const = 0;
};

// The backend of this desktop: an XDG autostart entry on Linux.
std::unique_ptr<LoginItem> createLoginItem();

} // namespace korvel
