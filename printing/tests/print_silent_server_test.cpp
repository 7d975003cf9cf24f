#include "form_ayuda.h"
#include "info_test_support.h"

#include <QPushButton>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A print server that takes the connection and never answers: the click gives up after a few
// seconds, says so once, and the window goes on. An alarm fails the test if it hangs instead.
TEST(PrintToASilentServer, GivesUpAndReportsOnce)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 4), 0); // never accepted: the kernel completes the connection
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    qputenv("CUPS_SERVER", QByteArray("127.0.0.1:") + QByteArray::number(ntohs(address.sin_port)));

    FormAyuda form;
    QStringList errors;
    form.setErrorReporter([&](QWidget *, const QString &message) { errors << message; });
    form.show();
    ::alarm(30);
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("CommandImprimir")),
                      Qt::LeftButton);
    ::alarm(0);
    ::close(listener);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0],
              QStringLiteral("El servidor de impresión «127.0.0.1» no contesta: no se ha "
                             "impreso nada. Compruebe que el servicio de impresión "
                             "está en marcha y vuelva a pulsar el botón."));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
