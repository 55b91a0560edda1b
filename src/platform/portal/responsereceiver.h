#pragma once

#include <QEventLoop>
#include <QObject>
#include <QVariantMap>

namespace korvel::portal {

// Receives the Response signal of one portal request and ends the local
// event loop that waits for it.
class ResponseReceiver : public QObject {
    Q_OBJECT
public Q_SLOTS:
    void onResponse(uint response, const QVariantMap& values) {
        answered = true;
        code = response;
        results = values;
        loop.quit();
    }

public: // NOLINT(readability-redundant-access-specifiers): Q_SLOTS is empty to the compiler
    bool answered = false;
    uint code = 2;
    QVariantMap results;
    QEventLoop loop;
};

} // namespace korvel::portal
