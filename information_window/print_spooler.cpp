#include "print_spooler.h"

#include "print_error.h"
#include "print_job.h"

#include <QString>

#include <cups/cups.h>
#include <dlfcn.h>

namespace print_spooler {

namespace {

// libcups is opened at the first print, not at start: it brings TLS, Kerberos and Avahi with it,
// megabytes that a session without printing never needs.
struct Cups
{
    decltype(&cupsGetNamedDest) getNamedDest = nullptr;
    decltype(&cupsFreeDests) freeDests = nullptr;
    decltype(&cupsLastError) lastError = nullptr;
    decltype(&cupsLastErrorString) lastErrorString = nullptr;
    decltype(&cupsAddOption) addOption = nullptr;
    decltype(&cupsFreeOptions) freeOptions = nullptr;
    decltype(&cupsPrintFile2) printFile2 = nullptr;
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
        c.resolve(library, c.getNamedDest, "cupsGetNamedDest");
        c.resolve(library, c.freeDests, "cupsFreeDests");
        c.resolve(library, c.lastError, "cupsLastError");
        c.resolve(library, c.lastErrorString, "cupsLastErrorString");
        c.resolve(library, c.addOption, "cupsAddOption");
        c.resolve(library, c.freeOptions, "cupsFreeOptions");
        c.resolve(library, c.printFile2, "cupsPrintFile2");
        return c;
    }();
    if (!loaded.missing.isEmpty())
        throw PrintError(QStringLiteral("No se puede imprimir: falta la biblioteca de impresión del "
                                        "sistema (libcups.so.2, del paquete libcups2): %1.")
                             .arg(loaded.missing));
    return loaded;
}

} // namespace

QString defaultPrinter()
{
    const Cups &c = cups();
    cups_dest_t *dest = c.getNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!dest) {
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

void submitPdf(const QString &printer, const QString &pdfPath, const QString &title)
{
    const Cups &c = cups();
    cups_option_t *options = nullptr;
    int optionCount = c.addOption("document-format", "application/pdf", 0, &options);
    const int job = c.printFile2(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(),
                                 pdfPath.toLocal8Bit().constData(), title.toUtf8().constData(),
                                 optionCount, options);
    c.freeOptions(optionCount, options);
    if (job == 0)
        throw PrintError(QStringLiteral("La impresora «%1» no ha aceptado el trabajo: %2. No se ha "
                                        "impreso nada.")
                             .arg(printer, QString::fromUtf8(c.lastErrorString())));
}

} // namespace print_spooler
