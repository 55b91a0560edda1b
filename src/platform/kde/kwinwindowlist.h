#pragma once

#include "../windowlist.h"

#include <QDBusContext>
#include <QEventLoop>
#include <QJsonArray>
#include <QObject>
#include <QTemporaryDir>

#include <map>

namespace korvel::kde {

// The windows in a report of the listing script (one object a window, in
// any order), front to back: those shown on the current desktop and
// activity, not minimised. KWin names windows by UUID; `ids` gives each a
// number of ours, the same for the life of the list.
std::vector<WindowInfo> kwinWindows(const QJsonArray& report, std::map<QString, quint32>& ids);

// Takes the script's answer. KWin alone may give it, and only the answer
// to the last run counts.
class ScriptReport : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.korvel.KWinScript")
public Q_SLOTS:
    void report(const QString& json);

public: // NOLINT(readability-redundant-access-specifiers): Q_SLOTS is empty to the compiler
    int run = 0;
    QString sender;
    std::optional<QString> answer;
    QEventLoop loop;
};

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
    ScriptReport receiver_;
    std::map<QString, quint32> ids_;
    bool registered_ = false;
};

} // namespace korvel::kde
