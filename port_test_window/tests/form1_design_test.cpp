#include "widget_test_support.h"

#include <QFontDatabase>
#include <QFontMetrics>

namespace {

QString objectName(const form1::Control &c)
{
    const QString name = QString::fromLatin1(c.name);
    return c.index < 0 ? name : name + u'_' + QString::number(c.index);
}

TEST_F(Form1Test, WindowMatchesItsDesign)
{
    EXPECT_EQ(form->windowTitle(), "Velmora");
    EXPECT_EQ(form->size(), QSize(296, 326));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(0, 128, 128));
    EXPECT_FALSE(form->windowIcon().isNull());

    for (const form1::Control &c : form1::design()) {
        const QString name = objectName(c);
        QWidget *widget = form->findChild<QWidget *>(name);
        ASSERT_NE(widget, nullptr) << name.toStdString();
        const QRect design(c.left / 15, c.top / 15, c.width / 15, c.height / 15);
        if (c.kind == form1::Kind::AutoSizeLabel)
            EXPECT_EQ(widget->pos(), design.topLeft()) << name.toStdString();
        else
            EXPECT_EQ(widget->geometry(), design) << name.toStdString();
        EXPECT_EQ(widget->toolTip(), c.tooltip ? QString::fromUtf8(c.tooltip) : QString())
            << name.toStdString();
    }
}

TEST_F(Form1Test, ButtonsAndLabelsCarryTheirCaptionsAndTooltips)
{
    EXPECT_EQ(control<QPushButton>("Command1")->text(), "in Hex");
    EXPECT_EQ(control<QPushButton>("Command2")->text(), "out HEX");
    EXPECT_EQ(control<QPushButton>("Command3")->text(), "in Dec");
    EXPECT_EQ(control<QPushButton>("Command4")->text(), "out DEC");
    EXPECT_EQ(control<QPushButton>("Command6_0")->text(), "+");
    EXPECT_EQ(control<QPushButton>("Command7")->text(), "-");
    EXPECT_TRUE(control<QPushButton>("CommandInfo")->text().isEmpty());
    EXPECT_FALSE(control<QPushButton>("CommandInfo")->icon().isNull());
    EXPECT_EQ(control<QLabel>("Label1")->text(), "Dirección Dec/Hex del puerto activo");
    EXPECT_EQ(control<QLabel>("Label5")->text(), "Estado del puerto");
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(control<QLabel>(qPrintable(QStringLiteral("Label8_%1").arg(i)))->text(),
                  QString::number(i + 2));

    // The two blanks in the read buttons' tooltips are the window's own wording.
    EXPECT_EQ(control("Command1")->toolTip(),
              "Lee el estado del  pto paralelo en la dirección HEX indicada");
    EXPECT_EQ(control("Command2")->toolTip(),
              "Envía el valor especificado a la direccion Hex del pto paralelo: 0378-037F...");
    EXPECT_EQ(control("Command3")->toolTip(),
              "Lee el estado del  pto paralelo en la dirección DEC indicada");
    EXPECT_EQ(control("Command4")->toolTip(),
              "Envía el valor especificado a la dirección decimal del pto paralelo: 888-889...");
    EXPECT_EQ(control("CommandInfo")->toolTip(), "Información sobre pto paralelo");
}

TEST_F(Form1Test, TheFieldsAreNamedByTheirCaptionsWhichAreTheirBuddies)
{
    EXPECT_EQ(text("Text1")->accessibleName(), "Dirección Dec/Hex del puerto activo");
    EXPECT_EQ(text("Text2")->accessibleName(), "Valor enviado");
    EXPECT_EQ(control<QLabel>("Label1")->buddy(), text("Text1"));
    EXPECT_EQ(control<QLabel>("Label2")->buddy(), text("Text2"));
}

TEST_F(Form1Test, EveryCaptionFitsItsBox)
{
    // The layout is fixed: a caption that needs more room than its box is clipped on screen.
    if (QFontDatabase::families().isEmpty())
        GTEST_SKIP() << "no fonts to measure captions with (the offscreen platform under wine)";
    for (QLabel *label : form->findChildren<QLabel *>()) {
        const QFontMetrics metrics(label->font());
        const int flags = Qt::AlignLeft | Qt::AlignTop | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect needed =
            metrics.boundingRect(QRect(0, 0, label->width(), 1000), flags, label->text());
        EXPECT_LE(needed.width(), label->width()) << label->objectName().toStdString();
        EXPECT_LE(needed.height(), label->height()) << label->objectName().toStdString();
    }
    for (QPushButton *button : form->findChildren<QPushButton *>()) {
        const QFontMetrics metrics(button->font());
        EXPECT_LE(metrics.horizontalAdvance(button->text()) + 8, button->width())
            << button->objectName().toStdString();
    }
    EXPECT_EQ(QFontInfo(form->font()).family(), "Liberation Sans");
}

} // namespace
