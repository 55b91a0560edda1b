#pragma once

#include <exception>
#include <QString>

namespace korvel {

// A real failure that reaches the user: the domain and code identify it, the
// description is the Chinese text an alert or status line shows.
class Error : public std::exception {
public:
    Error(QString domain, int code, QString description)
        : domain_(std::move(domain))
        , code_(code)
        , description_(std::move(description))
        , what_(description_.toUtf8()) {}

    const QString& domain() const { return domain_; }
    int code() const { return code_; }
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    QString domain_;
    int code_;
    QString description_;
    QByteArray what_;
};

} // namespace korvel
