#include "info_file_platform.h"

#include <QDir>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include <windows.h>

namespace info_file::platform {

namespace {

class FileHandle
{
public:
    explicit FileHandle(HANDLE handle)
        : m_handle(handle)
    {}
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    ~FileHandle() { CloseHandle(m_handle); }

    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

QString systemText(DWORD code)
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString result = length ? QString::fromWCharArray(text, int(length)).trimmed() : QString();
    LocalFree(text);
    while (result.endsWith(u'.'))
        result.chop(1);
    return result;
}

QString reason(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return QStringLiteral("no existe");
    case ERROR_PATH_NOT_FOUND:
        return QStringLiteral("una de las carpetas de la ruta no existe");
    case ERROR_ACCESS_DENIED:
        return QStringLiteral("permiso denegado");
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return QStringLiteral("otro programa lo tiene abierto sin dejar leerlo");
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return QStringLiteral("el nombre de la ruta no es válido");
    case ERROR_FILENAME_EXCED_RANGE:
        return QStringLiteral("la ruta es demasiado larga");
    case ERROR_NOT_READY:
        return QStringLiteral("la unidad no está preparada");
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return QStringLiteral("no se encuentra la ruta de red");
    case ERROR_CRC:
    case ERROR_READ_FAULT:
        return QStringLiteral("error de entrada/salida del disco");
    case ERROR_TOO_MANY_OPEN_FILES:
        return QStringLiteral("hay demasiados archivos abiertos");
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return QStringLiteral("no hay memoria suficiente");
    default:
        return QStringLiteral("%1 (error %2 de Windows)").arg(systemText(code)).arg(code);
    }
}

[[noreturn]] void fail(DWORD code)
{
    throw ReadFailure{reason(code), code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND};
}

QString tooLarge(qsizetype maxBytes)
{
    return QStringLiteral("es demasiado grande: un texto de ayuda puede medir como mucho %1 MB")
        .arg(maxBytes / (1024 * 1024));
}

// The number of a Windows code page as a character set's name gives it: CP1252, windows-1252,
// or a few ISO names that Windows knows by number.
UINT codePageNumber(const char *codeset)
{
    const QByteArray name = QByteArray(codeset).toUpper();
    struct Known
    {
        const char *name;
        UINT number;
    };
    static constexpr Known known[] = {
        {"ISO-8859-1", 28591}, {"ISO-8859-2", 28592}, {"ISO-8859-3", 28593}, {"ISO-8859-4", 28594},
        {"ISO-8859-5", 28595}, {"ISO-8859-7", 28597}, {"ISO-8859-9", 28599}, {"ISO-8859-15", 28605},
        {"KOI8-R", 20866},     {"EUC-JP", 20932},     {"SHIFT_JIS", 932},    {"GBK", 936},
    };
    for (const Known &k : known) {
        if (name == k.name)
            return k.number;
    }
    for (const char *prefix : {"CP", "WINDOWS-", "IBM"}) {
        if (name.startsWith(prefix)) {
            bool ok = false;
            const uint number = name.mid(qsizetype(std::strlen(prefix))).toUInt(&ok);
            return ok ? number : 0;
        }
    }
    return 0;
}

} // namespace

QByteArray readRegularFile(const QString &path, qsizetype maxBytes)
{
    // Others may go on reading, writing or deleting it. FILE_FLAG_BACKUP_SEMANTICS lets a folder
    // open too, so that it is named as such rather than as "access denied".
    const std::wstring nativePath = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE handle = CreateFileW(
        nativePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        fail(GetLastError());
    const FileHandle file(handle);

    // Consoles, serial ports (CON, COM1, which every folder seems to hold) and pipes would block
    // or never end; none is read.
    if (GetFileType(handle) != FILE_TYPE_DISK)
        throw ReadFailure{QStringLiteral("no es un archivo normal, sino una tubería o un "
                                         "dispositivo, que no se lee como texto")};
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information))
        fail(GetLastError());
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        throw ReadFailure{QStringLiteral("es una carpeta")};
    const std::uint64_t size =
        std::uint64_t(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
    if (size > std::uint64_t(maxBytes))
        throw ReadFailure{tooLarge(maxBytes)};

    try {
        // One byte beyond the size, so that the end is seen without a regrowth; the bytes read
        // are bounded too, since the file may grow while it is read.
        QByteArray bytes(qsizetype(size) + 1, Qt::Uninitialized);
        qsizetype filled = 0;
        for (;;) {
            if (filled == bytes.size())
                bytes.resize(std::min(bytes.size() * 2, maxBytes + 1));
            const DWORD wanted = DWORD(std::min<qsizetype>(bytes.size() - filled, 1 << 30));
            DWORD count = 0;
            if (!ReadFile(handle, bytes.data() + filled, wanted, &count, nullptr))
                fail(GetLastError());
            if (count == 0)
                break;
            filled += count;
            if (filled > maxBytes)
                throw ReadFailure{tooLarge(maxBytes)};
        }
        bytes.truncate(filled);
        return bytes;
    } catch (const std::bad_alloc &) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

const char *localeCodeset()
{
    // The system's code page for programs that are not Unicode, as a name codePageFor knows.
    static const QByteArray name =
        GetACP() == CP_UTF8 ? QByteArray("UTF-8") : "CP" + QByteArray::number(GetACP());
    return name.constData();
}

std::optional<CodePage> singleByteTable(const char *codeset)
{
    const UINT number = codePageNumber(codeset);
    CPINFO information;
    if (number == 0 || number == CP_UTF8 || !GetCPInfo(number, &information)
        || information.MaxCharSize != 1)
        return std::nullopt;
    CodePage page{};
    for (int byte = 0; byte < 256; ++byte) {
        const char in = char(byte);
        wchar_t out = 0;
        // A byte the code page leaves undefined fails here, and keeps its own value.
        page[byte] = MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, &in, 1, &out, 1) == 1
                         ? char16_t(out)
                         : char16_t(byte);
    }
    return page;
}

} // namespace info_file::platform
