#include "form_ayuda.h"
#include "info_test_support.h"

#include <QGuiApplication>
#include <QLabel>
#include <QTest>

namespace {

// No print server answers here, and this process has not printed before, so printing takes it.
TEST(FormAyuda, WindowMatchesItsDesignAndReportsAPrintFailureOnceThroughItsReporter)
{
    qputenv("CUPS_SERVER", "/nowhere.sock");
    FormAyuda form;
    EXPECT_EQ(form.windowTitle(), u"Información del pto paralelo"_qs);
    EXPECT_EQ(form.size(), QSize(481, 464)); // 7215 x 6960 twips
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags()
                 & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(0, 128, 128));
    EXPECT_TRUE(form.findChild<QLabel *>(u"Image1"_qs)->isHidden()); // until a load shows it
    EXPECT_EQ(form.findChild<QLabel *>(u"Image1"_qs)->pixmap().size(), QSize(530, 269));

    QStringList errors;
    form.setErrorReporter([&](QWidget *, const QString &message) { errors << message; });
    form.show();
    QTest::mouseClick(form.findChild<QWidget *>(u"CommandImprimir"_qs), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(u"No hay ninguna impresora predeterminada instalada"_qs));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
