#pragma once

#include <QString>
#include <stdexcept>

// Every failure of the fax service; what() is the service's text (UTF-8).
class EFaxError : public std::runtime_error {
public:
    explicit EFaxError(const QString &text) : std::runtime_error(text.toUtf8().toStdString()) {}
    QString text() const { return QString::fromUtf8(what()); }
};
