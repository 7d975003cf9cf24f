#include "info_printout.h"

#include "print_error.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>

namespace {

constexpr double TwipsPerInch = 1440;
constexpr double PictureLeft = 1500;
constexpr double PictureTop = 1500;
constexpr double TwipsPerScreenPixel = 15; // a picture's pixel at 96 dpi

// Lays out the text line by line within the printable width, starting a new page whenever the
// next line would not fit below the previous one.
void paintText(QPagedPaintDevice &printer, QPainter &painter, const QString &text,
               const QFont &font)
{
    const QFont printerFont(font, &printer);
    painter.setFont(printerFont);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.logicalDpiX());
    const qreal lineSpacing = QFontMetricsF(printerFont, &printer).lineSpacing();

    // The text item is followed by a line end of its own; every line break in it starts a line.
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n|\u2029"));
    const QStringList lines = (text + QStringLiteral("\r\n")).split(lineBreak);

    qreal y = 0;
    auto nextLine = [&] {
        if (y > 0 && y + lineSpacing > page.height()) {
            printer.newPage();
            y = 0;
        }
    };
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.isEmpty()) {
            nextLine();
            y += lineSpacing;
            continue;
        }
        QTextLayout layout(line, printerFont, &printer);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine wrapped = layout.createLine(); wrapped.isValid();
             wrapped = layout.createLine()) {
            wrapped.setLineWidth(page.width());
            nextLine();
            painter.drawText(QPointF(0, y + wrapped.ascent()),
                             line.mid(wrapped.textStart(), wrapped.textLength()));
            y += lineSpacing;
        }
        layout.endLayout();
    }
}

} // namespace

void paintPrintout(QPagedPaintDevice &printer, const QString &text, const QFont &font,
                   const QImage &picture)
{
    QPainter painter;
    if (!painter.begin(&printer))
        throw PrintError(QStringLiteral("No se pudo preparar el documento para la impresora."));

    paintText(printer, painter, text, font);

    printer.newPage();
    const double devicePerTwip = printer.logicalDpiX() / TwipsPerInch;
    const QRectF target(PictureLeft * devicePerTwip, PictureTop * devicePerTwip,
                        picture.width() * TwipsPerScreenPixel * devicePerTwip,
                        picture.height() * TwipsPerScreenPixel * devicePerTwip);
    painter.drawImage(target, picture);

    if (!painter.end())
        throw PrintError(QStringLiteral("No se pudo terminar el documento para la impresora."));
}
