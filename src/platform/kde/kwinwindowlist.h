#pragma once

#include "../windowlist.h"

#include <QJsonArray>
#include <QTemporaryDir>

#include <map>
#include <memory>

namespace korvel::kde {

// The windows in a report of the listing script (one object a window, in
// any order), front to back: those shown on the current desktop and
// activity, not minimised. KWin names windows by UUID; `ids` gives each a
// number of ours, the same for the life of the list.
std::vector<WindowInfo> kwinWindows(const QJsonArray& report, std::map<QString, quint32>& ids);

class ScriptReport;

// The window list of KWin, through a script loaded over D-Bus for each
// question: it reports what it sees back to us and is unloaded.
class KWinWindowList final : public WindowList {
public:
    KWinWindowList();
    ~KWinWindowList() override;

    std::vector<WindowInfo> windows() override;
    std::optional<qint64> activePid() override;
    void activate(quint32 window) override;

    // Whether KWin's scripting service is there.
    static bool available();

private:
    // Runs `body`, which ends by calling report(answer); empty when KWin
    // gave no answer in time.
    std::optional<QString> runScript(const QString& body);
    std::optional<QJsonArray> list();

    QTemporaryDir folder_;
    std::unique_ptr<ScriptReport> receiver_;
    std::map<QString, quint32> ids_;
    bool registered_ = false;
};

} // namespace korvel::kde
