#pragma once

#include <QString>

#include <stdexcept>

// Printing failed, or could not start. The message, in Spanish, says what happened and why.
class PrintError : public std::runtime_error
{
public:
    explicit PrintError(const QString &message)
        : std::runtime_error(message.toStdString())
    {}

    QString message() const { return QString::fromUtf8(what()); }
};
