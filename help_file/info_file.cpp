#include "info_file.h"

#include "info_file_platform.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QStringDecoder>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

InfoFileError::InfoFileError(const QString &message, bool absent)
    : std::runtime_error(message.toStdString())
    , m_absent(absent)
{}

namespace info_file {

namespace {

// Windows-1252 from 80 to 9F hexadecimal; the five bytes it leaves undefined keep their value.
// clang-format off
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};
// clang-format on

CodePage windows1252()
{
    CodePage page{};
    for (int byte = 0; byte < 256; ++byte)
        page[byte] = byte >= 0x80 && byte < 0xA0 ? Windows1252High[byte - 0x80] : char16_t(byte);
    return page;
}

bool sameName(const char *a, const char *b)
{
    return QByteArrayView(a).compare(QByteArrayView(b), Qt::CaseInsensitive) == 0;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const std::uint8_t *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((word & 0x8080808080808080u) == 0) {
                p += 8;
                continue;
            }
        }
        const std::uint8_t lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        std::uint32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            code = code << 6 | (p[i] & 0x3F);
        }
        if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF)))
            return false;
        if (length == 4 && (code < 0x10000 || code > 0x10FFFF))
            return false;
        p += length;
    }
    return true;
}

// Every line followed by CR LF. The terminators are ASCII bytes, never part of a longer character
// in UTF-8 or in an 8-bit code page, so the lines can be split before decoding.
QByteArray withCrLfLines(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    const auto next = [end](const char *from, char terminator) {
        const void *found = std::memchr(from, terminator, std::size_t(end - from));
        return found ? static_cast<const char *>(found) : end;
    };
    // Room for a file of lone terminators, where every byte doubles; pages that stay unwritten
    // are never touched, so the usual file costs no more than its own size.
    QByteArray lines(2 * bytes.size() + 2, Qt::Uninitialized);
    char *out = lines.data();
    // Each kind of terminator is searched for only past the last one found, so that a file of one
    // kind is not scanned again for the other at every line.
    const char *nextCr = p == end ? end : next(p, '\r');
    const char *nextLf = p == end ? end : next(p, '\n');
    while (p != end) {
        if (nextCr < p)
            nextCr = next(p, '\r');
        if (nextLf < p)
            nextLf = next(p, '\n');
        const char *lineEnd = std::min(nextCr, nextLf);
        std::memcpy(out, p, std::size_t(lineEnd - p));
        out += lineEnd - p;
        *out++ = '\r';
        *out++ = '\n';
        if (lineEnd == end)
            break;
        const bool crLf = *lineEnd == '\r' && lineEnd + 1 != end && lineEnd[1] == '\n';
        p = lineEnd + (crLf ? 2 : 1);
    }
    lines.truncate(out - lines.data());
    return lines;
}

QString decodeEightBit(QByteArrayView bytes, const CodePage &page)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(page[std::uint8_t(byte)]);
    return text;
}

QString decode(QByteArrayView bytes)
{
    if (isUtf8(bytes)) {
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes = bytes.sliced(3);
        // A second mark right after the first is text, and stays.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
        return utf8.decode(withCrLfLines(bytes));
    }
    return decodeEightBit(withCrLfLines(bytes), codePageFor(platform::localeCodeset()));
}

} // namespace

CodePage codePageFor(const char *codeset)
{
    // Neither UTF-8 nor plain ASCII is an 8-bit code page: a file that is not UTF-8 is then taken
    // to come from Windows, in its Western code page.
    if (!codeset || sameName(codeset, "UTF-8") || sameName(codeset, "UTF8")
        || sameName(codeset, "ANSI_X3.4-1968") || sameName(codeset, "ASCII")
        || sameName(codeset, "US-ASCII"))
        return windows1252();
    return platform::singleByteTable(codeset).value_or(windows1252());
}

} // namespace info_file

QStringList infoFileFolders()
{
    QStringList folders{QDir::currentPath()};
    if (QCoreApplication::instance()) {
        const QDir program(QCoreApplication::applicationDirPath());
        folders << QDir::cleanPath(program.filePath(QStringLiteral(VELMORA_DATA_FROM_BIN)))
                << program.path();
    }
    folders.removeDuplicates();
    return folders;
}

QString readInfoFileAt(const QString &fileName)
{
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(fileName));
    try {
        return info_file::decode(info_file::platform::readRegularFile(path, InfoFileMaxBytes));
    } catch (const info_file::platform::ReadFailure &failure) {
        throw InfoFileError(
            QStringLiteral("No se pudo leer el archivo de información «%1» (%2): %3.")
                .arg(QDir(fileName).dirName(), QDir::toNativeSeparators(path), failure.reason),
            failure.absent);
    } catch (const std::bad_alloc &) {
        throw InfoFileError(
            QStringLiteral("No se pudo leer el archivo de información «%1» (%2): no hay memoria "
                           "suficiente.")
                .arg(QDir(fileName).dirName(), QDir::toNativeSeparators(path)));
    }
}

QString readInfoFile(const QStringList &folders)
{
    const QString name = QString::fromLatin1(InfoFileName);
    QStringList tried;
    for (const QString &folder : folders) {
        try {
            return readInfoFileAt(QDir(folder).filePath(name));
        } catch (const InfoFileError &error) {
            if (!error.absent())
                throw;
        }
        tried << QStringLiteral("«%1»").arg(QDir::toNativeSeparators(QDir::cleanPath(folder)));
    }
    throw InfoFileError(
        QStringLiteral(
            "No se encontró el archivo de información «%1» en ninguna de estas carpetas: "
            "%2. Póngalo en una de ellas, o reinstale Velmora, y vuelva a pulsar el "
            "botón.")
            .arg(name, tried.join(QStringLiteral(", "))),
        true);
}
