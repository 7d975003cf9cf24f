// Any bytes as the information file: it is read, never refused, and gives back the text worked
// out here another way: a UTF-8 file (its first byte-order mark dropped) as its characters, any
// other file as one character for each byte in the code page used outside a locale; CR LF, a lone
// CR and a lone LF each become CR LF, and a last line without a break gets one.
#include "info_file.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

namespace {

QString expectedText(QByteArrayView bytes)
{
    // A first byte-order mark is skipped, a second one kept.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        // The code page's table is the unit tests' concern; here no byte may be lost or moved.
        const info_file::CodePage page = info_file::codePageFor(nullptr);
        text = QString::fromLatin1(bytes); // each byte as the character of its value
        for (QChar &character : text)
            character = QChar(page[character.unicode()]);
    }
    text.replace(u"\r\n"_qs, u"\n"_qs).replace(u'\r', u'\n');
    if (!text.isEmpty() && !text.endsWith(u'\n'))
        text += u'\n';
    return text.replace(u'\n', u"\r\n"_qs);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QTemporaryDir folder; // removed at exit
    const QString path = folder.filePath(u"info.txt"_qs);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        qFatal("info_file: the input could not be written to %s", qPrintable(path));
    try {
        if (const QString text = readInfoFileAt(path); text != expectedText(bytes))
            qFatal("info_file: read another text: %s", qPrintable(text.left(200)));
    } catch (const InfoFileError &error) {
        qFatal("info_file: refused: %s", qPrintable(error.message()));
    }
    return 0;
}
