#pragma once

#include <QString>
#include <stdexcept>

// What every failure of the mail client throws: a text for the operator.
class MailError : public std::runtime_error {
public:
    explicit MailError(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};
