#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <stdexcept>

// The information text lives in this file.
inline constexpr char InfoFileName[] = "VelmoraInfo.txt";

// Larger files are refused, so that memory stays bounded whatever the file is: the help text is
// a few kilobytes, and the text box takes most of a second to fill with this much.
inline constexpr qsizetype InfoFileMaxBytes = 8 * 1024 * 1024;

// The information file could not be read. The message, in Spanish, names the file, the full path
// that was tried and the reason the system gave, or every folder it was looked for in.
class InfoFileError : public std::runtime_error
{
public:
    explicit InfoFileError(const QString &message, bool absent = false);

    QString message() const { return QString::fromUtf8(what()); }
    // The file is not there at all, as opposed to there and unreadable.
    bool absent() const { return m_absent; }

private:
    bool m_absent;
};

// Where the information file is looked for, in order: the current folder, so that a technician's
// own text wins; the installed data folder (share/velmora beside the program's bin folder); the
// program's own folder, where the build puts a copy.
QStringList infoFileFolders();

// Reads the information file whole: every line followed by CR LF, the last one too, in file order.
// CR LF, a CR alone and a LF alone each end a line. A file that is valid UTF-8 is read as UTF-8
// (a byte-order mark is dropped); any other file in the 8-bit code page, every byte kept.
// Only a regular file of at most InfoFileMaxBytes is read. Relative names are resolved against
// the current directory. Throws InfoFileError.
QString readInfoFileAt(const QString &fileName);

// Reads the information file from the first of folders that has one: a file that is there but
// cannot be read is reported, not passed over. Throws InfoFileError.
QString readInfoFile(const QStringList &folders = infoFileFolders());

namespace info_file {

using CodePage = std::array<char16_t, 256>;

// The 8-bit code page that stands for a locale's character set (as nl_langinfo(CODESET) names
// it): the set itself when it is a single-byte one, otherwise Windows-1252. Bytes a code page
// leaves undefined map to the code point of the same value, so that none is lost.
CodePage codePageFor(const char *codeset);

} // namespace info_file
