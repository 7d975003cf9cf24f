#pragma once

class QFont;
class QImage;
class QPagedPaintDevice;
class QString;

// Paints the information on printer (a printer or a PDF writer), in twips from the top-left corner
// of the printable area, converted through the printer's own resolution: the text from the top of
// the first page in the given font, each line break starting a new line, long lines wrapped and
// long texts going on onto further pages; then, on the page after the last line, the picture at
// 1500, 1500 twips at its own size (its pixels taken at 96 dpi). Throws PrintError when the printer
// cannot be painted on.
void paintPrintout(QPagedPaintDevice &printer, const QString &text, const QFont &font,
                   const QImage &picture);
