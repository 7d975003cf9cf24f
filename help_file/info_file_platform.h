#pragma once

#include "info_file.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What the information file reader asks of the operating system; one source file per platform.
namespace info_file::platform {

// A file that could not be read: the reason in Spanish, to end a sentence, and whether the
// file is simply not there, so that the next folder can be tried.
struct ReadFailure
{
    QString reason;
    bool absent = false;
};

// Reads a regular file whole, never more than maxBytes. The open neither blocks nor takes a
// controlling terminal; anything but a regular file is refused at once. Throws ReadFailure.
QByteArray readRegularFile(const QString &path, qsizetype maxBytes);

// The name of the character set of the user's locale, or nullptr.
const char *localeCodeset();

// The table of a single-byte character set, or nothing when the set is unknown or has characters
// of more than one byte. Bytes the set leaves undefined map to the code point of the same value.
std::optional<CodePage> singleByteTable(const char *codeset);

} // namespace info_file::platform
