// Any bytes as the information file: reading it never crashes, every line comes back followed by
// CR LF, and no byte is lost: a UTF-8 file gives back its characters, any other file one
// character for each byte.
#include "info_file.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include <unistd.h>

namespace {

std::string folder;
std::string path;

[[noreturn]] void fail(const char *what, qsizetype expected, qsizetype got)
{
    std::fprintf(stderr, "info_file: %s (expected %lld, got %lld)\n", what,
                 static_cast<long long>(expected), static_cast<long long>(got));
    std::abort();
}

void removeFolder()
{
    ::unlink(path.c_str());
    ::rmdir(folder.c_str());
}

void writeFile(const std::uint8_t *data, std::size_t size)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

// CR LF, a lone CR and a lone LF each end a line.
qsizetype lineEnds(QByteArrayView bytes)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            ++count;
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else if (bytes[i] == '\n') {
            ++count;
        }
    }
    return count;
}

// Outside a locale, a file that is not UTF-8 is read as Windows-1252, whose five undefined bytes
// keep their value.
char16_t windows1252(std::uint8_t byte)
{
    // clang-format off
    static constexpr char16_t high[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
        0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178,
    };
    // clang-format on
    return byte >= 0x80 && byte < 0xA0 ? high[byte - 0x80] : char16_t(byte);
}

QString withoutLineEnds(QString text)
{
    text.remove(u'\r');
    text.remove(u'\n');
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::string pattern = QDir::tempPath().toStdString() + "/velmora-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    folder = pattern;
    path = folder + "/info.txt";
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    writeFile(data, size);
    QString text;
    try {
        text = readInfoFileAt(QString::fromStdString(path));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "info_file: a readable file was refused: %s\n", error.what());
        std::abort();
    }

    // Every CR is the start of a CR LF and every LF the end of one.
    qsizetype pairs = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r') {
            if (i + 1 == text.size() || text[i + 1] != u'\n')
                fail("a CR without its LF at character", i, i);
            ++pairs;
            ++i;
        } else if (text[i] == u'\n') {
            fail("a LF without its CR at character", i, i);
        }
    }
    if (!text.isEmpty() && !text.endsWith(u"\r\n"))
        fail("the last line is not followed by CR LF", text.size(), text.size());

    // The byte-order mark of a UTF-8 file is no part of its text: a file of the mark alone is
    // empty.
    QByteArrayView body = bytes;
    if (body.startsWith("\xEF\xBB\xBF"))
        body = body.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless
                                                  | QStringConverter::Flag::ConvertInitialBom);
    const QString characters = withoutLineEnds(utf8.decode(body));
    const bool isUtf8 = !utf8.hasError();
    if (!isUtf8)
        body = bytes;

    const bool openLastLine = !body.isEmpty() && !body.endsWith('\r') && !body.endsWith('\n');
    const qsizetype expectedPairs = lineEnds(body) + (openLastLine ? 1 : 0);
    if (pairs != expectedPairs)
        fail("CR LF pairs in the text against line ends in the file", expectedPairs, pairs);

    const QString shown = withoutLineEnds(text);
    if (isUtf8) {
        if (shown != characters)
            fail("a UTF-8 file's characters do not come back; length", characters.size(),
                 shown.size());
        return 0;
    }

    // Any other file: a character for each byte, in the code page.
    QByteArray lineBytes = bytes.toByteArray();
    lineBytes.replace('\r', QByteArrayView()).replace('\n', QByteArrayView());
    if (shown.size() != lineBytes.size())
        fail("characters against bytes outside the line ends", lineBytes.size(), shown.size());
    for (qsizetype i = 0; i < lineBytes.size(); ++i) {
        const auto byte = std::uint8_t(lineBytes[i]);
        if (shown[i] != QChar(windows1252(byte)))
            fail("a byte of a code-page file became another character at", i, shown[i].unicode());
    }
    return 0;
}
