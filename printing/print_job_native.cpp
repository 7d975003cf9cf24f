#include "print_job.h"

#include "info_printout.h"
#include "print_error.h"

#include <QPrinter>
#include <QPrinterInfo>

// Where there is no CUPS, Qt's native printing hands the job to the system's spooler.
void printOnDefaultPrinter(const QString &title, const QString &text, const QFont &font,
                           const QImage &picture)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        throw PrintError(noDefaultPrinterMessage());
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(title);
    paintPrintout(printer, text, font, picture);
    if (printer.printerState() == QPrinter::Error)
        throw PrintError(QStringLiteral("La impresora «%1» no ha aceptado el trabajo. No se ha "
                                        "impreso nada.")
                             .arg(info.printerName()));
}
