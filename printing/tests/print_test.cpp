#include "info_printout.h"
#include "print_error.h"
#include "print_job.h"

#include "info_test_support.h"

#include <QFont>
#include <QImage>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <cups/cups.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <utility>

namespace {

// What a tool of poppler-utils or CUPS writes, when it succeeds.
std::optional<QString> run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of each page of a PDF, trimmed.
QStringList pageTexts(const QString &pdf)
{
    QStringList pages = run(u"pdftotext"_qs, {pdf, u"-"_qs}).value_or(QString()).split(u'\f');
    pages.removeLast(); // each page ends with a form feed
    return pages.replaceInStrings(QRegularExpression(u"^\\s+|\\s+$"_qs), QString());
}

// The printout of text and picture as a PDF file on an A4 page whose printable area starts 10 mm
// in: the text of each page, and the box around everything that is not white on its last page,
// rendered at 96 dpi.
std::pair<QStringList, QRect> printout(const QString &text, const QImage &picture)
{
    const QTemporaryDir dir;
    const QString pdf = dir.filePath(u"printout.pdf"_qs);
    QPdfWriter writer(pdf);
    writer.setResolution(1200);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
    paintPrintout(writer, text, QFont(u"Courier New"_qs, 8), picture); // the file is complete
    const QStringList pages = pageTexts(pdf);
    run(u"pdftoppm"_qs, {u"-r"_qs, u"96"_qs, u"-f"_qs, QString::number(pages.size()),
                         u"-singlefile"_qs, u"-png"_qs, pdf, pdf});
    const QImage image(pdf + u".png"_qs);
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ink |= qGray(image.pixel(x, y)) < 240 ? QRect(x, y, 1, 1) : QRect();
    return {pages, ink};
}

TEST(Printout, TheTextFromPageOneOnWithWideLinesWrappedThenThePictureAloneAtItsOwnSize)
{
    QStringList lines;
    for (int i = 1; i <= 300; ++i)
        lines << u"Línea %1 del texto: ñandú"_qs.arg(i);
    lines[150] = u"0123456789"_qs.repeated(40); // four times wider than the page
    // A picture of the connector picture's size, dark to its edges, so that its ink shows where
    // it lies.
    QImage picture(530, 269, QImage::Format_RGB32);
    picture.fill(Qt::darkBlue);
    auto [pages, ink] = printout(lines.join(u'\n'), picture);
    // 1500 twips from the printable area's corner (10 mm in): 100 + 37.8 pixels at 96 dpi; the
    // edges may blur by a pixel or two.
    EXPECT_TRUE(QRect(136, 136, 534, 273).contains(ink) && ink.contains(QRect(140, 140, 526, 265)))
        << ink.x() << ", " << ink.y() << ", " << ink.width() << " x " << ink.height();
    ASSERT_GT(pages.size(), 3);
    EXPECT_EQ(pages.takeLast(), QString());
    EXPECT_TRUE(pages[0].startsWith(u"Línea 1 del texto: ñandú\nLínea 2 del texto: ñandú\n"_qs));
    const QString text = pages.join(QString());
    EXPECT_FALSE(text.contains(lines[150])) << "the wide line is wrapped";
    // Nothing is lost or moved: the same characters but for line breaks and spaces.
    EXPECT_EQ(text.simplified().remove(u' '), lines.join(QString()).remove(u' '));
}

// What printing says when it fails, or nothing.
QString printFailure()
{
    try {
        printOnDefaultPrinter(u"Prueba"_qs, u"Hola\r\nmundo"_qs, QFont(), QImage());
        return QString();
    } catch (const PrintError &error) {
        return error.message();
    }
}

const QString noDefaultPrinter = u"No hay ninguna impresora predeterminada instalada: no se ha "
                                 u"impreso nada. Instale una impresora y elíjala como "
                                 u"predeterminada, y vuelva a pulsar el botón de imprimir."_qs;

// A server that is not there, and one that takes the connection and never answers (no event loop
// runs), given up after a few seconds; the test's timeout fails it if it is waited for instead.
TEST(PrintJob, WithNoPrintServerThereIsNoDefaultPrinterAndASilentOneIsGivenUp)
{
    cupsSetServer("/nowhere.sock");
    const QString why = u"\n\nNo se pudo conectar con el servidor de impresión «/nowhere.sock»."_qs;
    EXPECT_EQ(printFailure(), noDefaultPrinter + why);
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    cupsSetServer(u"127.0.0.1:%1"_qs.arg(silent.serverPort()).toLatin1().constData());
    EXPECT_EQ(printFailure(), u"El servidor de impresión «127.0.0.1» no contesta: no se ha impreso "
                              u"nada. Compruebe que el servicio de impresión está en marcha y "
                              u"vuelva a pulsar el botón."_qs);
}

void write(const QString &name, const QString &text)
{
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0);
}

// A print server of the test's own in a temporary folder, its one queue "captura" the default,
// whose backend writes each job's document to a file. The machine's printers are never touched.
TEST(PrintServer, TheJobReachesTheDefaultPrinterAndWithNoDefaultNothingIsPrinted)
{
    const QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    for (const char *sub : {"spool", "cache", "state", "log", "tmp", "out", "bin/backend"})
        QDir().mkpath(QString::fromLatin1(sub));
    QFile::link(u"/usr/lib/cups/daemon"_qs, u"bin/daemon"_qs);
    write(u"bin/backend/capture"_qs,
          u"#!/bin/sh\n[ $# -ge 6 ] || exit 0\nout=\"${DEVICE_URI#capture:}\"\n"
          u"cat \"$6\" > \"$out.part\" && mv \"$out.part\" \"$out\"\n"_qs);
    // As root, cupsd runs its jobs as lp, and refuses a folder that others cannot enter.
    QFile::setPermissions(u"bin/backend/capture"_qs, QFile::Permissions(0x7755)); // rwxr-xr-x
    QFile::setPermissions(dir.path(), QFile::Permissions(0x7755));
    const QString user = geteuid() == 0 ? u"lp"_qs : qEnvironmentVariable("USER");
    run(u"chown"_qs, {user, u"spool"_qs, u"cache"_qs, u"state"_qs, u"tmp"_qs, u"out"_qs});
    const QString socket = dir.filePath(u"cups.sock"_qs);
    write(u"cupsd.conf"_qs,
          u"Listen %1\nWebInterface No\nBrowsing No\nDefaultAuthType None\n<Location />\n"
          u"Order allow,deny\nAllow all\n</Location>\n<Policy default>\n<Limit All>\n"
          u"Order deny,allow\n</Limit>\n</Policy>\n"_qs.arg(socket));
    write(u"files.conf"_qs,
          u"ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\n"
          u"TempDir %1/tmp\nAccessLog %1/log/access_log\nErrorLog %1/log/error_log\n"
          u"PageLog %1/log/page_log\nPrintcap %1/printcap\nServerBin %1/bin\n"
          u"DataDir /usr/share/cups\nUser %2\nGroup %2\n"_qs.arg(dir.path(), user));
    QProcess cupsd; // ended when the test ends
    // A test that crashes must not leave its print server behind.
    cupsd.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    cupsd.start(u"/usr/sbin/cupsd"_qs, {u"-f"_qs, u"-c"_qs, dir.filePath(u"cupsd.conf"_qs),
                                        u"-s"_qs, dir.filePath(u"files.conf"_qs)});
    qputenv("CUPS_SERVER", socket.toLocal8Bit()); // for lpadmin
    cupsSetServer(socket.toLocal8Bit().constData());
    const QString captured = dir.filePath(u"out/job.pdf"_qs);
    const QStringList queue = (u"-p captura -E -m raw -v capture:"_qs + captured).split(u' ');
    ASSERT_TRUE(QTest::qWaitFor([&] { return run(u"lpadmin"_qs, queue).has_value(); }, 9000));
    ASSERT_TRUE(run(u"lpadmin"_qs, {u"-d"_qs, u"captura"_qs}));

    EXPECT_EQ(printFailure(), QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile(captured).size() > 0; }, 30000));
    EXPECT_EQ(pageTexts(captured), QStringList({u"Hola\nmundo"_qs, QString()}));

    ASSERT_TRUE(run(u"lpadmin"_qs, {u"-x"_qs, u"captura"_qs}));
    EXPECT_EQ(printFailure().left(noDefaultPrinter.size()), noDefaultPrinter);
}

} // namespace
