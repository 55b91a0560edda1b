#pragma once

#include "../accessibilitytree.h"

#include <QDBusConnection>

#include <atomic>
#include <mutex>
#include <optional>

class QDBusMessage;

namespace korvel::atspi {

// The desktop's accessibility bus (AT-SPI2), spoken over QtDBus. Other
// applications' trees can be read when the bus launcher answers on the
// session bus and accessibility is switched on (org.a11y.Status.IsEnabled).
//
// Not libatspi: it attaches its connection to the default GLib main context,
// which Qt's main thread dispatches, so its handlers would run on two threads.
// QtDBus makes blocking calls with a timeout from any thread.
class Accessibility final : public AccessibilityTree {
public:
    bool isTrusted() override;
    bool enable() override;
    void setCallTimeout(int milliseconds) override { timeout_ = milliseconds; }
    AccessibleElement application(qint32 pid) override;
    void prepare(const AccessibleElement& application) override;
    std::vector<AccessibleElement> windows(const AccessibleElement& application) override;
    AccessibleElement elementAt(const AccessibleElement& application, QPoint position) override;
    AccessibleElement parent(const AccessibleElement& element) override;
    std::vector<AccessibleElement> children(const AccessibleElement& element, int limit) override;
    std::optional<QRectF> extents(const AccessibleElement& element) override;

private:
    std::optional<QDBusConnection> bus();
    QDBusMessage call(const AccessibleElement& element, const QString& interface,
                      const QString& method, const QList<QVariant>& arguments = {});

    std::atomic<int> timeout_{600};
    std::mutex lock_;
    std::optional<QDBusConnection> bus_;
};

} // namespace korvel::atspi
