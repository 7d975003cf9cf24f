#include "print_job.h"

#include "info_printout.h"
#include "print_error.h"
#include "print_spooler.h"

#include <QBuffer>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>

// Qt's own CUPS printing does not tell whether the spooler took the job, so the document is laid
// out as a PDF on the printer's page, in memory, and streamed to CUPS here, where a refusal can
// be seen. Nothing goes through a file: nothing is left behind, whatever happens.
void printOnDefaultPrinter(const QString &title, const QString &text, const QFont &font,
                           const QImage &picture)
{
    print_spooler::Connection spooler;
    const QString printerName = spooler.defaultPrinter();

    // The server has answered by now; the page size is the printer's own.
    const QPrinter native(QPrinterInfo::printerInfo(printerName), QPrinter::HighResolution);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setResolution(native.resolution());
        writer.setPageLayout(native.pageLayout());
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Velmora"));
        paintPrintout(writer, text, font, picture);
    }
    spooler.submitPdf(printerName, pdf.data(), title);
}
