#include "print_job.h"

#include <QString>

QString noDefaultPrinterMessage()
{
    return QStringLiteral(
        "No hay ninguna impresora predeterminada instalada: no se ha impreso nada. "
        "Instale una impresora y elíjala como predeterminada, y vuelva a pulsar el "
        "botón de imprimir.");
}
