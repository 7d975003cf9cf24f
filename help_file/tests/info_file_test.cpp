#include "info_file.h"
#include "info_test_support.h"

#include <QSet>

#include <cstdint>
#include <functional>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using InfoFileTest = InTemporaryDirectory;

struct Case
{
    const char *name;
    QByteArray bytes;
    QString text;
};

TEST_F(InfoFileTest, EveryLineEndsWithCrLfWhateverEndedItInTheFile)
{
    const Case cases[] = {
        {"CR LF", "uno\r\ndos\r\n", u"uno\r\ndos\r\n"_qs},
        {"CR alone", "uno\rdos\r", u"uno\r\ndos\r\n"_qs},
        {"LF alone", "uno\ndos\n", u"uno\r\ndos\r\n"_qs},
        {"mixed", "a\r\nb\rc\nd\r\n", u"a\r\nb\r\nc\r\nd\r\n"_qs},
        {"no break at the end", "uno\r\ndos", u"uno\r\ndos\r\n"_qs},
        {"one line, no break", "x", u"x\r\n"_qs},
        {"empty file", "", u""_qs},
        {"empty lines kept", "\r\n\r\na\r\n\r\n", u"\r\n\r\na\r\n\r\n"_qs},
        {"LF then CR is two breaks", "a\n\rb", u"a\r\n\r\nb\r\n"_qs},
        {"CR then CR LF is two breaks", "a\r\r\nb", u"a\r\n\r\nb\r\n"_qs},
        {"CR as the last byte", "a\r", u"a\r\n"_qs},
        {"blank line without a break", "a\r\n   ", u"a\r\n   \r\n"_qs},
    };
    for (const Case &c : cases) {
        writeInfoFile(c.bytes);
        EXPECT_EQ(readInfoFile(), c.text) << c.name;
    }
}

TEST_F(InfoFileTest, UnicodeFilesAreReadAsUnicodeAndOthersInTheCodePageWithNoByteLost)
{
    const Case cases[] = {
        {"UTF-8", "Direcci\xC3\xB3n del puerto\r\n", u"Dirección del puerto\r\n"_qs},
        {"UTF-8 with a byte-order mark",
         "\xEF\xBB\xBF\xC3\x91"
         "and\xC3\xBA\r\n",
         u"Ñandú\r\n"_qs},
        {"a second mark is text", "\xEF\xBB\xBF\xEF\xBB\xBFx", u"\uFEFFx\r\n"_qs},
        {"UTF-8 beyond the basic plane", "pin \xF0\x9F\x94\x8C 25\n", u"pin \U0001F50C 25\r\n"_qs},
        {"Windows-1252 accents",
         "Direcci\xF3n \xE1\xE9\xED\xF3\xFA \xF1\xD1 \xFC \xBF\xA1 \xBA\xAA\r\n",
         u"Dirección áéíóú ñÑ ü ¿¡ ºª\r\n"_qs},
        {"Windows-1252 80 to 9F", "\x80\x85\x8A\x91\x92\x93\x94\x96\x97\x99\x9C\x9F",
         u"\u20AC\u2026\u0160\u2018\u2019\u201C\u201D\u2013\u2014\u2122\u0153\u0178\r\n"_qs},
        {"the five undefined bytes", "\x81\x8D\x8F\x90\x9D",
         u"\u0081\u008D\u008F\u0090\u009D\r\n"_qs},
        // One byte that is not UTF-8 makes the whole file a code-page file.
        {"UTF-8 then a stray byte", "\xC3\xB1\r\n\xE9", u"\u00C3\u00B1\r\n\u00E9\r\n"_qs},
        {"overlong form", "\xC0\xAF", u"\u00C0\u00AF\r\n"_qs},
        {"encoded surrogate", "\xED\xA0\x80", u"\u00ED\u00A0\u20AC\r\n"_qs},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\u00F4\u0090\u20AC\u20AC\r\n"_qs},
        {"cut short at the end", "abcdefgh\xC3", u"abcdefgh\u00C3\r\n"_qs},
        {"byte-order mark over a code-page file", "\xEF\xBB\xBF\xFF",
         u"\u00EF\u00BB\u00BF\u00FF\r\n"_qs},
    };
    for (const Case &c : cases) {
        writeInfoFile(c.bytes);
        EXPECT_EQ(readInfoFile(), c.text) << c.name;
    }
}

TEST_F(InfoFileTest, EveryByteOfACodePageFileBecomesItsOwnCharacter)
{
    QByteArray bytes;
    for (int byte = 0; byte < 256; ++byte) {
        if (byte != '\r' && byte != '\n')
            bytes += char(byte);
    }
    writeInfoFile(bytes);

    const QString text = readInfoFile();
    ASSERT_EQ(text.size(), 254 + 2);
    EXPECT_TRUE(text.endsWith(u"\r\n"_qs));
    const QStringView characters = QStringView(text).first(254);
    EXPECT_EQ(QSet<QChar>(characters.begin(), characters.end()).size(), 254);
    EXPECT_FALSE(characters.contains(QChar::ReplacementCharacter));
    for (int i = 0; i < 254; ++i) {
        const int byte = std::uint8_t(bytes[i]);
        if (byte < 0x80 || byte >= 0xA0) {
            EXPECT_EQ(characters[i].unicode(), byte) << "byte " << byte;
        }
    }
}

TEST(InfoFileCodePage, IsTheLocalesOwnSingleByteSetOrElseWindows1252)
{
    struct CodePageCase
    {
        const char *codeset;
        int byte;
        char16_t character;
    };
    // clang-format off
    const CodePageCase cases[] = {
        {"UTF-8",           0x80, u'\u20AC'},
        {"UTF-8",           0x9D, u'\u009D'},
        {"UTF-8",           0xE9, u'\u00E9'},
        {"ANSI_X3.4-1968",  0x93, u'\u201C'},
        {"ISO-8859-1",      0x80, u'\u0080'},
        {"ISO-8859-1",      0xF1, u'\u00F1'},
        {"ISO-8859-15",     0xA4, u'\u20AC'},
        {"CP1251",          0xC0, u'\u0410'},
        {"ISO-8859-3",      0xA5, u'\u00A5'}, // undefined there: kept as its own value
        {"CP1252",          0x80, u'\u20AC'},
        {"CP1252",          0x81, u'\u0081'}, // undefined there: kept as its own value
        {"windows-1251",    0xC0, u'\u0410'},
        {"EUC-JP",          0x80, u'\u20AC'}, // characters of two bytes: no 8-bit code page
        {"CP932",           0x80, u'\u20AC'},
        {"NO-SUCH-CHARSET", 0x80, u'\u20AC'},
    };
    // clang-format on
    for (const CodePageCase &c : cases) {
        EXPECT_EQ(int(info_file::codePageFor(c.codeset)[c.byte]), int(c.character))
            << c.codeset << " byte " << c.byte;
    }
}

#ifndef _WIN32
// What reading the file in the current folder says, from a child process that an alarm ends if
// the read blocks: a reader that waits on a FIFO fails the test instead of hanging it.
QString refusalInChild()
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return u"pipe failed"_qs;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        ::alarm(5);
        QByteArray said = "no error";
        try {
            readInfoFileAt(QString::fromLatin1(InfoFileName));
        } catch (const InfoFileError &error) {
            said = error.what();
        }
        const bool written = ::write(pipeEnds[1], said.constData(), said.size()) == said.size();
        ::_exit(written ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    QByteArray said;
    char buffer[512];
    for (ssize_t count; (count = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, count);
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
        return u"the reader was ended by signal %1: it blocked"_qs.arg(WTERMSIG(status));
    return QString::fromUtf8(said);
}

TEST_F(InfoFileTest, AnythingButASmallRegularFileIsRefusedAtOnceWithItsPathAndTheReason)
{
    struct ErrorCase
    {
        const char *name;
        std::function<void(const QByteArray &path)> prepare;
        QString reason;
    };
    const QString notRegular = u"no es un archivo normal, sino una tubería, un dispositivo o un "
                               u"socket, que no se lee como texto"_qs;
    const ErrorCase cases[] = {
        {"absent", [](const QByteArray &) {}, u"no existe"_qs},
        {"a folder", [](const QByteArray &path) { ASSERT_EQ(::mkdir(path, 0700), 0); },
         u"es una carpeta"_qs},
        {"a FIFO with no writer",
         [](const QByteArray &path) { ASSERT_EQ(::mkfifo(path, 0600), 0); }, notRegular},
        {"a link to /dev/zero",
         [](const QByteArray &path) { ASSERT_EQ(::symlink("/dev/zero", path), 0); }, notRegular},
        {"a sparse file one byte over the limit",
         [](const QByteArray &path) {
             const int fd = ::open(path, O_WRONLY | O_CREAT, 0600);
             ASSERT_GE(fd, 0);
             EXPECT_EQ(::ftruncate(fd, InfoFileMaxBytes + 1), 0);
             ::close(fd);
         },
         u"es demasiado grande: un texto de ayuda puede medir como mucho 8 MB"_qs},
    };
    const QByteArray path = QFile::encodeName(infoFilePath());
    for (const ErrorCase &c : cases) {
        ::rmdir(path);
        ::unlink(path);
        c.prepare(path);
        EXPECT_EQ(refusalInChild(),
                  u"No se pudo leer el archivo de información «VelmoraInfo.txt» (%1): %2."_qs.arg(
                      infoFilePath(), c.reason))
            << c.name;
    }
}

#else
// Windows has no FIFO or link to a device that a test can make, but it has its DOS device names,
// which every folder seems to hold: NUL there is the null device, which must not be read.
TEST_F(InfoFileTest, AnythingButASmallRegularFileIsRefusedAtOnceWithItsPathAndTheReason)
{
    const auto refusal = [](const QString &name) {
        try {
            readInfoFileAt(name);
            return u"no error"_qs;
        } catch (const InfoFileError &error) {
            return error.message();
        }
    };
    const auto expected = [&](const QString &name, const QString &reason) {
        return u"No se pudo leer el archivo de información «%1» (%2): %3."_qs.arg(
            name, QDir::toNativeSeparators(QDir(directory.path()).filePath(name)), reason);
    };
    const QString name = QString::fromLatin1(InfoFileName);
    EXPECT_EQ(refusal(name), expected(name, u"no existe"_qs));
    EXPECT_EQ(refusal(u"no-such-folder/"_qs + name).section(u": "_qs, -1),
              u"una de las carpetas de la ruta no existe."_qs);

    ASSERT_TRUE(QDir(directory.path()).mkdir(name));
    EXPECT_EQ(refusal(name), expected(name, u"es una carpeta"_qs));
    ASSERT_TRUE(QDir(directory.path()).rmdir(name));

    EXPECT_EQ(refusal(u"NUL"_qs),
              expected(u"NUL"_qs, u"no es un archivo normal, sino una tubería o un dispositivo, "
                                  u"que no se lee como texto"_qs));

    QFile large(directory.filePath(name));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly));
    ASSERT_TRUE(large.resize(InfoFileMaxBytes + 1));
    large.close();
    EXPECT_EQ(
        refusal(name),
        expected(name, u"es demasiado grande: un texto de ayuda puede medir como mucho 8 MB"_qs));
    ASSERT_TRUE(large.resize(InfoFileMaxBytes));
    EXPECT_EQ(readInfoFileAt(name).size(), InfoFileMaxBytes + 2); // at the limit: one line of NULs
}
#endif

TEST_F(InfoFileTest, TheCurrentFoldersTextWinsAndTheOtherFoldersAreTriedInTurn)
{
    const QTemporaryDir installed;
    const QTemporaryDir beside;
    const auto write = [](const QTemporaryDir &folder, const QByteArray &text) {
        QFile file(folder.filePath(QString::fromLatin1(InfoFileName)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    const QStringList folders{directory.path(), installed.path(), beside.path()};
    EXPECT_THROW(readInfoFile(folders), InfoFileError);

    write(beside, "junto al programa");
    EXPECT_EQ(readInfoFile(folders), u"junto al programa\r\n"_qs);
    write(installed, "instalado");
    EXPECT_EQ(readInfoFile(folders), u"instalado\r\n"_qs);
    writeInfoFile("del técnico");
    EXPECT_EQ(readInfoFile(folders), u"del técnico\r\n"_qs);

    // A text that is there but cannot be read is reported, not passed over for another one.
    ASSERT_TRUE(QFile::remove(infoFilePath()));
    ASSERT_TRUE(QDir(directory.path()).mkdir(QString::fromLatin1(InfoFileName)));
    try {
        readInfoFile(folders);
        ADD_FAILURE() << "no error";
    } catch (const InfoFileError &error) {
        EXPECT_TRUE(error.message().endsWith(u": es una carpeta."_qs)) << error.what();
    }
}

#ifndef _WIN32
TEST_F(InfoFileTest, AFileWithoutReadPermissionIsReportedAsSuch)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, whom no file permission stops from reading";
    writeInfoFile("texto\r\n");
    ASSERT_TRUE(QFile::setPermissions(infoFilePath(), QFileDevice::Permissions()));
    try {
        readInfoFile();
        ADD_FAILURE() << "no error";
    } catch (const InfoFileError &error) {
        EXPECT_TRUE(error.message().contains(infoFilePath())) << error.what();
        EXPECT_TRUE(error.message().endsWith(u": permiso denegado."_qs)) << error.what();
    }
}

#endif

TEST_F(InfoFileTest, ALargeFileKeepsItsLinesInOrder)
{
    // Longer than any buffer, with line breaks and multi-byte characters across every boundary.
    QByteArray bytes;
    QString expected;
    for (int line = 0; line < 100000; ++line) {
        const QString text = u"línea %1 ñ"_qs.arg(line);
        bytes += text.toUtf8() + (line % 3 == 0 ? "\n" : line % 3 == 1 ? "\r" : "\r\n");
        expected += text + u"\r\n"_qs;
    }
    writeInfoFile(bytes);
    EXPECT_TRUE(readInfoFile() == expected);
}

} // namespace
