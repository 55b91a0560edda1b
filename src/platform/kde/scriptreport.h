#pragma once

#include <QDBusContext>
#include <QEventLoop>
#include <QObject>

#include <optional>

namespace korvel::kde {

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

} // namespace korvel::kde
