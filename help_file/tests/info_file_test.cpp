#include "info_file.h"
#include "info_test_support.h"
#include "named_cases.h"

#include <QCoreApplication>

#include <sys/stat.h>

#include <tuple>

namespace {

// The text read from the file named, or else by a search of every folder, or the message of the
// error that refused it.
QString textOrError(const QString &name = QString())
{
    try {
        return name.isEmpty() ? readInfoFile() : readInfoFileAt(name);
    } catch (const InfoFileError &error) {
        return error.message();
    }
}

const QString refusal = u"No se pudo leer el archivo de información «VelmoraInfo.txt» (%1): %2."_qs;

// How a case's file comes to be: written with its bytes, or something that is not a plain file.
enum class Make { File, TooBig, Nothing, Folder, Fifo, Link };

bool make(Make kind, const QString &path, const QByteArray &bytes)
{
#ifndef _WIN32
    if (kind == Make::Fifo)
        return ::mkfifo(QFile::encodeName(path), 0600) == 0;
    if (kind == Make::Link)
        return QFile::link(QString::fromLatin1(bytes), path);
#endif
    if (kind == Make::Folder)
        return QDir().mkdir(path);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A file is read, each line then followed by CR LF, or else refused, for the reason in text.
struct ReadCase : NamedCase
{
    QByteArray bytes;
    QString text;
    Make make = Make::File; // any other way, the file is refused
};

class Reads : public InTemporaryDirectory, public testing::WithParamInterface<ReadCase>
{};

// The 8 MB case is not printed whole. Read by the search of the folders, which must not pass over a
// file it cannot read; but for an absent file, which the search passes over, read at its name. A
// read that would block, on a FIFO with no writer, fails by the test's timeout.
TEST_P(Reads, TheTextOrTheRefusalWithThePathAndTheReason)
{
    const ReadCase &c = GetParam();
    ASSERT_TRUE(c.make == Make::Nothing || make(c.make, infoFilePath(), c.bytes));
    // In native separators: no case but the path has a slash.
    const QString expected = c.make == Make::File ? c.text : refusal.arg(infoFilePath(), c.text);
    const QString text = textOrError(c.make == Make::Nothing ? u"VelmoraInfo.txt"_qs : QString());
    EXPECT_TRUE(text == QDir::toNativeSeparators(expected)) << text.left(300).toStdString();
}

const QString notRegular = u"no es un archivo normal, sino una tubería, un dispositivo o un "
                           u"socket, que no se lee como texto"_qs;

const ReadCase readCases[] = {
    ReadCase{"EmptyFile", "", u""_qs},
    // LF LF, LF CR and CR CR LF are two line ends each.
    ReadCase{"CrLfCrAndLfEachEndALine", QByteArray("a\r\nb\rc\n\nd\n\re\r\r\nñ").repeated(50000),
             u"a\r\nb\r\nc\r\n\r\nd\r\n\r\ne\r\n\r\nñ"_qs.repeated(50000) + u"\r\n"_qs},
    // A second mark right after the first is text.
    ReadCase{"Utf8WithItsMarkDropped", "\xEF\xBB\xBF\xEF\xBB\xBFÑandú 🔌", u"\uFEFFÑandú 🔌\r\n"_qs},
    // The five bytes Windows-1252 leaves undefined keep their value.
    ReadCase{"Windows1252", "\xF3\xBF\x80\x85\x8A\x91\x94\x96\x99\x9F\x81\x8D\x8F\x90\x9D",
             u"ó¿€…Š‘”–™Ÿ\u0081\u008D\u008F\u0090\u009D\r\n"_qs},
    ReadCase{"OneStrayByteMakesACodePageFile", "\xC3\xB1\r\n\xE9", u"Ã±\r\né\r\n"_qs},
    ReadCase{"OverlongForm", "\xC0\xAF", u"\u00C0\u00AF\r\n"_qs},
    ReadCase{"EncodedSurrogate", "\xED\xA0\x80", u"\u00ED\u00A0\u20AC\r\n"_qs},
    ReadCase{"BeyondU10FFFF", "\xF4\x90\x80\x80", u"\u00F4\u0090\u20AC\u20AC\r\n"_qs},
    ReadCase{"CutShortAfterEightAsciiBytes", "abcdefgh\xC3", u"abcdefgh\u00C3\r\n"_qs},
    ReadCase{"AMarkOverACodePageFile", "\xEF\xBB\xBF\xFF", u"\u00EF\u00BB\u00BF\u00FF\r\n"_qs},
    ReadCase{"AtTheSizeLimit", QByteArray(InfoFileMaxBytes, 'x'),
             QString(InfoFileMaxBytes, u'x') + u"\r\n"_qs},
    ReadCase{"OneByteOverTheLimit", QByteArray(InfoFileMaxBytes + 1, 'x'),
             u"es demasiado grande: un texto de ayuda puede medir como mucho 8 MB"_qs,
             Make::TooBig},
    ReadCase{"Absent", "", u"no existe"_qs, Make::Nothing},
    ReadCase{"AFolder", "", u"es una carpeta"_qs, Make::Folder},
#ifndef _WIN32
    ReadCase{"AFifoWithNoWriter", "", notRegular, Make::Fifo},
    ReadCase{"ALinkToDevZero", "/dev/zero", notRegular, Make::Link},
    ReadCase{"ALinkToATerminal", "/dev/ptmx", notRegular, Make::Link}
#endif
};
INSTANTIATE_TEST_SUITE_P(InfoFile, Reads, testing::ValuesIn(readCases), CaseName());

using InfoFileTest = InTemporaryDirectory;

TEST_F(InfoFileTest, AMissingFileNamesEveryFolderTried)
{
    char *argv[] = {const_cast<char *>("help_file_tests"), nullptr};
    int argc = 1;
    const QCoreApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    const QString folders = u"«%1», «%2», «%3»"_qs.arg(
        QDir::currentPath(), QDir::cleanPath(bin + u"/../share/velmora"_qs), bin);
    EXPECT_EQ(textOrError(),
              u"No se encontró el archivo de información «VelmoraInfo.txt» en ninguna de "
              u"estas carpetas: %1. Póngalo en una de ellas, o reinstale Velmora, y "
              u"vuelva a pulsar el botón."_qs.arg(QDir::toNativeSeparators(folders)));
}

TEST(InfoFileCodePage, IsTheLocalesOwnSingleByteSetOrElseWindows1252)
{
    const std::tuple<const char *, int, char16_t> cases[] = {
        {"UTF-8", 0x80, u'\u20AC'},        {"ANSI_X3.4-1968", 0x93, u'\u201C'},
        {"windows-1251", 0xC0, u'\u0410'}, {"ISO-8859-3", 0xA5, u'\u00A5'},  // undefined: kept
        {"EUC-JP", 0x80, u'\u20AC'},       {"NO-SUCH-SET", 0x80, u'\u20AC'}, // not single-byte
    };
    for (const auto &[codeset, byte, character] : cases)
        EXPECT_EQ(int(info_file::codePageFor(codeset)[byte]), int(character)) << codeset << byte;
}

} // namespace
