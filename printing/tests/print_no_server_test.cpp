#include "form_ayuda.h"
#include "info_test_support.h"

#include <QPushButton>
#include <QTest>

namespace {

// No print server answers here: the click must say there is no default printer, and go on.
TEST(PrintWithoutServer, ReportsThatNoDefaultPrinterIsInstalled)
{
    const QTemporaryDir nowhere;
    qputenv("CUPS_SERVER", (nowhere.path() + QStringLiteral("/no-such.sock")).toLocal8Bit());
    qputenv("CUPS_SERVERROOT", nowhere.path().toLocal8Bit());

    FormAyuda form;
    QStringList errors;
    form.setErrorReporter([&](QWidget *, const QString &message) { errors << message; });
    form.show();
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("CommandImprimir")),
                      Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(
        errors[0].startsWith(QStringLiteral("No hay ninguna impresora predeterminada instalada")))
        << errors[0].toStdString();
    EXPECT_TRUE(form.isVisible());
}

} // namespace
