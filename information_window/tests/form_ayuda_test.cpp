#include "form_ayuda.h"
#include "info_file.h"
#include "info_test_support.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImageReader>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace {

class FormAyudaTest : public InTemporaryDirectory
{
protected:
    template <typename T = QWidget>
    T *control(const char *name) const
    {
        T *widget = form.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QPlainTextEdit *textInfo() const { return control<QPlainTextEdit>("TextInfo"); }

    void showAndActivate()
    {
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    FormAyuda form;
};

TEST_F(FormAyudaTest, WindowMatchesItsDesign)
{
    EXPECT_EQ(form.windowTitle(), u"Información del pto paralelo"_qs);
    EXPECT_EQ(form.size(), QSize(481, 464)); // 7215 x 6960 twips
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.parentWidget(), nullptr);
    EXPECT_TRUE(form.isWindow());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(0, 128, 128));
    EXPECT_TRUE(form.autoFillBackground());
    EXPECT_FALSE(form.windowIcon().isNull());

    struct Expected
    {
        const char *name;
        int left, top, width, height; // twips
    };
    const Expected controls[] = {
        {"TextInfo", 120, 240, 6975, 3495},
        {"CommandImprimir", 6480, 6240, 615, 615},
        {"Image1", 120, 3840, 6255, 2955},
    };
    for (const Expected &c : controls) {
        EXPECT_EQ(control(c.name)->geometry(),
                  QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15))
            << c.name;
    }
}

TEST_F(FormAyudaTest, TheTextBoxIsMultiLineWithBothScrollBarsInCourierNew)
{
    QPlainTextEdit *text = textInfo();
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(text->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(text->isReadOnly());
    EXPECT_TRUE(text->toPlainText().isEmpty());

    const QFont font = text->font();
    EXPECT_EQ(font.family(), u"Courier New"_qs);
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 8.25);
    if (QFontDatabase::families().isEmpty())
        GTEST_SKIP() << "no fonts to resolve the box's font to (the offscreen platform under wine)";
    // Debian has no Courier New; fontconfig stands its metric twin in for it.
    const QFontInfo resolved(font);
    EXPECT_EQ(resolved.family(), u"Liberation Mono"_qs);
    EXPECT_TRUE(resolved.fixedPitch());
    EXPECT_EQ(resolved.weight(), QFont::Normal);
    EXPECT_FALSE(resolved.italic());
    EXPECT_FALSE(resolved.underline());
    EXPECT_FALSE(resolved.strikeOut());
}

TEST_F(FormAyudaTest, ThePrintButtonShowsThePrinterOnly)
{
    auto *print = control<QPushButton>("CommandImprimir");
    EXPECT_TRUE(print->text().isEmpty());
    EXPECT_TRUE(print->toolTip().isEmpty());
    EXPECT_FALSE(print->isDefault());
    EXPECT_FALSE(print->autoDefault());
    const QList<QSize> sizes = print->icon().availableSizes();
    for (const int size : {16, 32, 48})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

TEST_F(FormAyudaTest, TheConnectorPictureIsStretchedToItsBox)
{
    QImageReader reader(u":/information_window/art/connector.jpg"_qs);
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_EQ(reader.size(), QSize(530, 269));

    auto *image = control<QLabel>("Image1");
    EXPECT_TRUE(image->hasScaledContents());
    EXPECT_EQ(image->pixmap().size(), QSize(530, 269));
}

TEST_F(FormAyudaTest, LoadingShowsThePictureAndTheFileText)
{
    writeInfoFile("PUERTO PARALELO\r\n\r\nDirecci\xC3\xB3n 378h");
    EXPECT_TRUE(control("Image1")->isHidden());

    form.Form_Load();

    EXPECT_FALSE(control("Image1")->isHidden());
    EXPECT_TRUE(textInfo()->isEnabled());
    // The box keeps paragraphs: each CR LF of the text read is one break between them.
    EXPECT_EQ(textInfo()->toPlainText(), u"PUERTO PARALELO\n\nDirección 378h\n"_qs);
    EXPECT_EQ(textInfo()->document()->blockCount(), 4);
}

TEST_F(FormAyudaTest, ALoadThatCannotReadTheFileStopsThere)
{
    EXPECT_THROW(form.Form_Load(), InfoFileError);
    // The steps before the reading have run, those after it have not.
    EXPECT_FALSE(control("Image1")->isHidden());
    EXPECT_TRUE(textInfo()->toPlainText().isEmpty());
    EXPECT_FALSE(form.isVisible());
}

TEST_F(FormAyudaTest, TabGoesFromTheTextToThePrintButtonAndBack)
{
    writeInfoFile("texto\r\n");
    form.Form_Load();
    showAndActivate();
    EXPECT_EQ(QApplication::focusWidget(), textInfo());
    for (const char *name : {"CommandImprimir", "TextInfo"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), name);
    }
    EXPECT_EQ(textInfo()->toPlainText(), u"texto\n"_qs); // Tab moved on, it typed nothing
}

TEST_F(FormAyudaTest, TheUserCanEditTheTextAndTheFileStaysAsItWas)
{
    writeInfoFile("uno\r\n");
    form.Form_Load();
    showAndActivate();
    textInfo()->moveCursor(QTextCursor::Start);
    QTest::keyClicks(textInfo(), u"nota: "_qs);
    EXPECT_EQ(textInfo()->toPlainText(), u"nota: uno\n"_qs);

    QFile file(infoFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "uno\r\n");
}

TEST_F(FormAyudaTest, ItsOwnContextMenuLeavesTheTextEnabled)
{
    writeInfoFile("texto\r\n");
    form.Form_Load();
    showAndActivate();

    // What a right click sends; QTest's own clicks go straight to the widget and open no menu.
    const QPoint inside(20, 20);
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, inside,
                                 textInfo()->viewport()->mapToGlobal(inside));
    QApplication::sendEvent(textInfo()->viewport(), &rightClick);

    // The menu is a window of the program too, and takes the focus; but it is part of this one.
    QWidget *menu = QApplication::activePopupWidget();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(
        QTest::qWaitFor([menu] { return QGuiApplication::focusWindow() == menu->windowHandle(); }));
    EXPECT_TRUE(textInfo()->isEnabled());
    menu->close();
}

} // namespace
