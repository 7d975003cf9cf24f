#include "last_resort.h"

#include <new>

QString unexpectedErrorMessage(const QString &action, std::exception_ptr error)
{
    QString what;
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc &) {
        what = QStringLiteral("no hay memoria suficiente");
    } catch (const std::exception &exception) {
        what = QString::fromUtf8(exception.what());
    } catch (...) {
        what = QStringLiteral("un error desconocido");
    }
    return QStringLiteral(
               "Algo falló de forma inesperada %1: %2.\n\nLo que había en las ventanas se "
               "conserva. Vuelva a intentarlo; si se repite, guarde lo que necesite y "
               "reinicie Velmora.")
        .arg(action, what);
}
