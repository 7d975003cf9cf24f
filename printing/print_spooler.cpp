#include "print_spooler.h"

#include "print_error.h"
#include "print_job.h"

#include <QString>

#include <cups/cups.h>
#include <dlfcn.h>

namespace print_spooler {

namespace {

// Connecting, and then each wait for the server, is given up after this long.
constexpr int ConnectMilliseconds = 3000;
constexpr double ReplySeconds = 3.0;

// libcups is opened at the first print, not at start: it brings TLS, Kerberos and Avahi with it,
// megabytes that a session without printing never needs.
struct Cups
{
    decltype(&cupsServer) server = nullptr;
    decltype(&ippPort) port = nullptr;
    decltype(&cupsEncryption) encryption = nullptr;
    decltype(&httpConnect2) connect = nullptr;
    decltype(&httpSetTimeout) setTimeout = nullptr;
    decltype(&httpClose) close = nullptr;
    decltype(&cupsGetNamedDest) getNamedDest = nullptr;
    decltype(&cupsFreeDests) freeDests = nullptr;
    decltype(&cupsLastError) lastError = nullptr;
    decltype(&cupsLastErrorString) lastErrorString = nullptr;
    decltype(&cupsAddOption) addOption = nullptr;
    decltype(&cupsFreeOptions) freeOptions = nullptr;
    decltype(&cupsCreateJob) createJob = nullptr;
    decltype(&cupsStartDocument) startDocument = nullptr;
    decltype(&cupsWriteRequestData) writeRequestData = nullptr;
    decltype(&cupsFinishDocument) finishDocument = nullptr;
    decltype(&cupsCancelJob2) cancelJob = nullptr;
    QString missing; // why the library could not be used, or empty

    template <typename Function>
    void resolve(void *library, Function &function, const char *name)
    {
        if (void *symbol = dlsym(library, name))
            function = reinterpret_cast<Function>(symbol);
        else if (missing.isEmpty())
            missing = QString::fromLatin1(name);
    }
};

const Cups &cups()
{
    static const Cups loaded = [] {
        Cups c;
        void *library = dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            c.missing = QString::fromLocal8Bit(dlerror());
            return c;
        }
        c.resolve(library, c.server, "cupsServer");
        c.resolve(library, c.port, "ippPort");
        c.resolve(library, c.encryption, "cupsEncryption");
        c.resolve(library, c.connect, "httpConnect2");
        c.resolve(library, c.setTimeout, "httpSetTimeout");
        c.resolve(library, c.close, "httpClose");
        c.resolve(library, c.getNamedDest, "cupsGetNamedDest");
        c.resolve(library, c.freeDests, "cupsFreeDests");
        c.resolve(library, c.lastError, "cupsLastError");
        c.resolve(library, c.lastErrorString, "cupsLastErrorString");
        c.resolve(library, c.addOption, "cupsAddOption");
        c.resolve(library, c.freeOptions, "cupsFreeOptions");
        c.resolve(library, c.createJob, "cupsCreateJob");
        c.resolve(library, c.startDocument, "cupsStartDocument");
        c.resolve(library, c.writeRequestData, "cupsWriteRequestData");
        c.resolve(library, c.finishDocument, "cupsFinishDocument");
        c.resolve(library, c.cancelJob, "cupsCancelJob2");
        return c;
    }();
    if (!loaded.missing.isEmpty())
        throw PrintError(
            QStringLiteral("No se puede imprimir: falta la biblioteca de impresión del "
                           "sistema (libcups.so.2, del paquete libcups2): %1.")
                .arg(loaded.missing));
    return loaded;
}

// A wait that runs out ends the request at once rather than starting another.
int giveUp(http_t *, void *timedOut)
{
    *static_cast<bool *>(timedOut) = true;
    return 0;
}

QString serverName(const Cups &c)
{
    return QString::fromUtf8(c.server());
}

} // namespace

struct Connection::Server
{
    const Cups &c;
    http_t *http = nullptr;
    bool timedOut = false;

    void throwIfSilent() const
    {
        if (timedOut)
            throw PrintError(QStringLiteral("El servidor de impresión «%1» no contesta: no se ha "
                                            "impreso nada. Compruebe que el servicio de impresión "
                                            "está en marcha y vuelva a pulsar el botón.")
                                 .arg(serverName(c)));
    }
};

Connection::Connection()
    : m_server(std::make_unique<Server>(Server{cups()}))
{
    const Cups &c = m_server->c;
    int cancel = 0;
    m_server->http = c.connect(c.server(), c.port(), nullptr, AF_UNSPEC, c.encryption(), 1,
                               ConnectMilliseconds, &cancel);
    if (!m_server->http)
        throw PrintError(noDefaultPrinterMessage()
                         + QStringLiteral("\n\nNo se pudo conectar con el servidor de impresión "
                                          "«%1».")
                               .arg(serverName(c)));
    c.setTimeout(m_server->http, ReplySeconds, giveUp, &m_server->timedOut);
}

Connection::~Connection()
{
    if (m_server && m_server->http)
        m_server->c.close(m_server->http);
}

QString Connection::defaultPrinter()
{
    const Cups &c = m_server->c;
    cups_dest_t *dest = c.getNamedDest(m_server->http, nullptr, nullptr);
    if (!dest) {
        m_server->throwIfSilent();
        QString message = noDefaultPrinterMessage();
        if (c.lastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
            message += QStringLiteral("\n\nEl sistema de impresión dice: %1.")
                           .arg(QString::fromUtf8(c.lastErrorString()));
        throw PrintError(message);
    }
    const QString name = QString::fromUtf8(dest->name);
    c.freeDests(1, dest);
    return name;
}

void Connection::submitPdf(const QString &printer, QByteArrayView pdf, const QString &title)
{
    const Cups &c = m_server->c;
    http_t *http = m_server->http;
    const QByteArray name = printer.toUtf8();
    const QByteArray jobTitle = title.toUtf8();
    const auto refused = [&] {
        return PrintError(
            QStringLiteral("La impresora «%1» no ha aceptado el trabajo: %2. No se ha "
                           "impreso nada.")
                .arg(printer, QString::fromUtf8(c.lastErrorString())));
    };

    cups_option_t *options = nullptr;
    const int optionCount = c.addOption("document-format", CUPS_FORMAT_PDF, 0, &options);
    const int job = c.createJob(http, name.constData(), jobTitle.constData(), optionCount, options);
    c.freeOptions(optionCount, options);
    if (job == 0) {
        m_server->throwIfSilent();
        throw refused();
    }

    bool sent =
        c.startDocument(http, name.constData(), job, jobTitle.constData(), CUPS_FORMAT_PDF, 1)
        == HTTP_STATUS_CONTINUE;
    for (qsizetype offset = 0; sent && offset < pdf.size(); offset += 65536) {
        const qsizetype chunk = std::min<qsizetype>(65536, pdf.size() - offset);
        sent = c.writeRequestData(http, pdf.data() + offset, std::size_t(chunk))
               == HTTP_STATUS_CONTINUE;
    }
    // Finishing reads the server's answer, which is needed after a failed write too.
    const ipp_status_t finished = c.finishDocument(http, name.constData());
    if (!sent || finished > IPP_STATUS_OK_EVENTS_COMPLETE) {
        m_server->throwIfSilent();
        PrintError error = refused();
        c.cancelJob(http, name.constData(), job, 0);
        throw error;
    }
}

} // namespace print_spooler
