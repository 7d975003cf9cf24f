#pragma once

class QFont;
class QImage;
class QString;

// Prints the information as one job on the system's default printer, looked up afresh: the text
// from the top of the first page, then the picture on the page after it. Returns once the job
// has been handed over; throws PrintError when there is no default printer or the job is refused.
void printOnDefaultPrinter(const QString &title, const QString &text, const QFont &font,
                           const QImage &picture);

// What the user is told when the system has no default printer.
QString noDefaultPrinterMessage();
