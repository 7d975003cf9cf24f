#include "print_job.h"

#include "info_printout.h"
#include "print_error.h"
#include "print_spooler.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

// Qt's own CUPS printing does not tell whether the spooler took the job, so the document is laid
// out as a PDF on the printer's page and handed to CUPS here, where a refusal can be seen.
void printOnDefaultPrinter(const QString &title, const QString &text, const QFont &font,
                           const QImage &picture)
{
    const QString printerName = print_spooler::defaultPrinter();
    QTemporaryFile pdf(QDir::tempPath() + QStringLiteral("/velmora-XXXXXX.pdf"));
    if (!pdf.open())
        throw PrintError(QStringLiteral("No se pudo crear el documento que se imprime en %1: %2.")
                             .arg(QDir::toNativeSeparators(QDir::tempPath()), pdf.errorString()));
    pdf.close();

    const QPrinter native(QPrinterInfo::printerInfo(printerName), QPrinter::HighResolution);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf.fileName());
    printer.setPageLayout(native.pageLayout());
    printer.setDocName(title);
    printer.setCreator(QStringLiteral("Velmora"));
    paintPrintout(printer, text, font, picture);

    print_spooler::submitPdf(printerName, pdf.fileName(), title);
}
