#pragma once

#include <QString>

#include <array>
#include <stdexcept>

// The information text lives in this file, looked up in the current directory.
inline constexpr char InfoFileName[] = "VelmoraInfo.txt";

// The information file could not be read. The message, in Spanish, names the file, the full path
// that was tried and the reason the system gave.
class InfoFileError : public std::runtime_error
{
public:
    explicit InfoFileError(const QString &message);

    QString message() const { return QString::fromUtf8(what()); }
};

// Reads the information file whole: every line followed by CR LF, the last one too, in file order.
// CR LF, a CR alone and a LF alone each end a line. A file that is valid UTF-8 is read as UTF-8
// (a byte-order mark is dropped); any other file in the 8-bit code page, every byte kept.
// Relative names are resolved against the current directory. Throws InfoFileError.
QString readInfoFile(const QString &fileName = QString::fromLatin1(InfoFileName));

namespace info_file {

using CodePage = std::array<char16_t, 256>;

// The 8-bit code page that stands for a locale's character set (as nl_langinfo(CODESET) names
// it): the set itself when it is a single-byte one, otherwise Windows-1252. Bytes a code page
// leaves undefined map to the code point of the same value, so that none is lost.
CodePage codePageFor(const char *codeset);

} // namespace info_file
