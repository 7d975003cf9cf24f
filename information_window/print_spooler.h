#pragma once

class QString;

// The system's print spooler. Both calls throw PrintError with the system's reason.
namespace print_spooler {

// The name of the system's default printer, asked afresh each time.
QString defaultPrinter();

// Hands a PDF document to printer as one job; returns once the spooler has taken it.
void submitPdf(const QString &printer, const QString &pdfPath, const QString &title);

} // namespace print_spooler
