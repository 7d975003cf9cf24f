#include "print_spooler.h"

#include "print_error.h"
#include "print_job.h"

#include <QString>

#include <cups/cups.h>

namespace print_spooler {

QString defaultPrinter()
{
    cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!dest) {
        QString message = noDefaultPrinterMessage();
        if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
            message += QStringLiteral("\n\nEl sistema de impresión dice: %1.")
                           .arg(QString::fromUtf8(cupsLastErrorString()));
        throw PrintError(message);
    }
    const QString name = QString::fromUtf8(dest->name);
    cupsFreeDests(1, dest);
    return name;
}

void submitPdf(const QString &printer, const QString &pdfPath, const QString &title)
{
    cups_option_t *options = nullptr;
    int optionCount = cupsAddOption("document-format", "application/pdf", 0, &options);
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(),
                                   pdfPath.toLocal8Bit().constData(), title.toUtf8().constData(),
                                   optionCount, options);
    cupsFreeOptions(optionCount, options);
    if (job == 0)
        throw PrintError(QStringLiteral("La impresora «%1» no ha aceptado el trabajo: %2. No se ha "
                                        "impreso nada.")
                             .arg(printer, QString::fromUtf8(cupsLastErrorString())));
}

} // namespace print_spooler
