#include "info_file_platform.h"

#include <QFile>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

namespace info_file::platform {

namespace {

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor() { ::close(m_fd); }

    int get() const { return m_fd; }

private:
    int m_fd;
};

QString reason(int code)
{
    switch (code) {
    case ENOENT:
        return QStringLiteral("no existe");
    case EISDIR:
        return QStringLiteral("es una carpeta");
    case EACCES:
        return QStringLiteral("permiso denegado");
    case EPERM:
        return QStringLiteral("operación no permitida");
    case ENOTDIR:
        return QStringLiteral("una parte de la ruta no es una carpeta");
    case ELOOP:
        return QStringLiteral("la ruta tiene demasiados enlaces simbólicos");
    case ENAMETOOLONG:
        return QStringLiteral("la ruta es demasiado larga");
    case EIO:
        return QStringLiteral("error de entrada/salida del disco");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("hay demasiados archivos abiertos");
    case ENOMEM:
        return QStringLiteral("no hay memoria suficiente");
    default:
        return QStringLiteral("%1 (error %2 del sistema)")
            .arg(QString::fromLocal8Bit(std::strerror(code)))
            .arg(code);
    }
}

[[noreturn]] void fail(int code)
{
    throw ReadFailure{reason(code), code == ENOENT || code == ENOTDIR};
}

QString tooLarge(qsizetype maxBytes)
{
    return QStringLiteral("es demasiado grande: un texto de ayuda puede medir como mucho %1 MB")
        .arg(maxBytes / (1024 * 1024));
}

} // namespace

QByteArray readRegularFile(const QString &path, qsizetype maxBytes)
{
    const QByteArray nativePath = QFile::encodeName(path);
    // A FIFO would block the open until a writer came, and a terminal would become the program's
    // own; neither is read past the check below.
    int fd = -1;
    do {
        fd = ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        fail(errno);
    const FileDescriptor file(fd);

    struct stat status;
    if (::fstat(fd, &status) != 0)
        fail(errno);
    if (S_ISDIR(status.st_mode))
        fail(EISDIR);
    if (!S_ISREG(status.st_mode))
        throw ReadFailure{
            QStringLiteral("no es un archivo normal, sino una tubería, un dispositivo "
                           "o un socket, que no se lee como texto")};
    if (status.st_size > maxBytes)
        throw ReadFailure{tooLarge(maxBytes)};

    try {
        // One byte beyond the size the file claims, so that its end is seen without a regrowth;
        // files of /proc claim none. The bytes read are bounded too, since a file may grow.
        QByteArray bytes(qsizetype(status.st_size) + 1, Qt::Uninitialized);
        qsizetype size = 0;
        for (;;) {
            if (size == bytes.size())
                bytes.resize(std::min(bytes.size() * 2, maxBytes + 1));
            const ssize_t count = ::read(fd, bytes.data() + size, std::size_t(bytes.size() - size));
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                fail(errno);
            if (count == 0)
                break;
            size += count;
            if (size > maxBytes)
                throw ReadFailure{tooLarge(maxBytes)};
        }
        bytes.truncate(size);
        return bytes;
    } catch (const std::bad_alloc &) {
        fail(ENOMEM);
    }
}

const char *localeCodeset()
{
    return nl_langinfo(CODESET);
}

std::optional<CodePage> singleByteTable(const char *codeset)
{
    const iconv_t converter = iconv_open("UTF-16LE", codeset);
    if (converter == iconv_t(-1))
        return std::nullopt;
    CodePage page{};
    bool singleByte = true;
    for (int byte = 0; byte < 256 && singleByte; ++byte) {
        char in = char(byte);
        char out[4] = {};
        char *inPointer = &in;
        char *outPointer = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        const std::size_t result = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
        if (result != std::size_t(-1) && inLeft == 0 && outLeft == 2)
            page[byte] = char16_t(std::uint8_t(out[0]) | std::uint8_t(out[1]) << 8);
        else if (result == std::size_t(-1) && errno == EILSEQ)
            page[byte] = char16_t(byte);
        else
            singleByte = false; // a lead byte, or a character outside the basic plane
    }
    iconv_close(converter);
    if (!singleByte)
        return std::nullopt;
    return page;
}

} // namespace info_file::platform
