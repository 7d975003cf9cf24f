#include "private_cups.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

bool writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0;
}

QString run(const QString &program, const QStringList &arguments, bool *ok = nullptr)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C")); // its words are read
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(10000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

PrivateCups::PrivateCups() = default;

PrivateCups::~PrivateCups()
{
    if (m_cupsd.state() != QProcess::NotRunning) {
        m_cupsd.terminate(); // by its PID, the one this object started
        if (!m_cupsd.waitForFinished(5000))
            m_cupsd.kill();
    }
}

QString PrivateCups::start()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/sbin/cupsd")))
        return QStringLiteral("cupsd is not installed");
    const QDir dir(m_dir.path());
    for (const char *sub : {"spool", "cache", "state", "log", "tmp", "out", "bin/backend"})
        dir.mkpath(QString::fromLatin1(sub));

    // The system's filters, and a backend of our own that writes each job's document, whole, to
    // the file its device URI names.
    for (const char *sub : {"filter", "daemon", "cgi-bin", "monitor", "notifier", "driver"})
        QFile::link(QStringLiteral("/usr/lib/cups/") + QString::fromLatin1(sub),
                    dir.filePath(QStringLiteral("bin/") + QString::fromLatin1(sub)));
    const QString backend = dir.filePath(QStringLiteral("bin/backend/capture"));
    writeFile(
        backend,
        QStringLiteral(
            "#!/bin/sh\n"
            "if [ $# -eq 0 ]; then echo 'direct capture \"Unknown\" \"Captura\"'; exit 0; fi\n"
            "out=\"${DEVICE_URI#capture:}\"\n"
            "if [ $# -ge 6 ]; then cat \"$6\"; else cat; fi > \"$out.part\" || exit 1\n"
            "mv \"$out.part\" \"$out\"\n"));
    QFile::setPermissions(backend, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                       | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                       | QFile::ExeOther);

    // As root, cupsd runs its jobs as lp and refuses a folder that others cannot enter.
    const bool root = geteuid() == 0;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                          | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                          | QFile::ExeOther);
    if (root) {
        for (const char *sub : {"spool", "cache", "state", "tmp", "out"})
            run(QStringLiteral("chown"),
                {QStringLiteral("lp:lp"), dir.filePath(QString::fromLatin1(sub))});
    }

    const QString socket = dir.filePath(QStringLiteral("cups.sock"));
    writeFile(dir.filePath(QStringLiteral("cupsd.conf")),
              QStringLiteral("Listen %1\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                             "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                             "</Location>\n<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                             "  </Limit>\n</Policy>\n")
                  .arg(socket));
    writeFile(dir.filePath(QStringLiteral("cups-files.conf")),
              QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\n"
                             "StateDir %1/state\nTempDir %1/tmp\nAccessLog %1/log/access_log\n"
                             "ErrorLog %1/log/error_log\nPageLog %1/log/page_log\n"
                             "ServerBin %1/bin\nDataDir /usr/share/cups\nPrintcap %1/printcap\n"
                             "User %2\nGroup %2\n")
                  .arg(dir.path(),
                       root ? QStringLiteral("lp") : QString::fromLocal8Bit(qgetenv("USER"))));
    writeFile(dir.filePath(QStringLiteral("client.conf")),
              QStringLiteral("ServerName %1\n").arg(socket));

    m_cupsd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that crashes must not leave its print server behind.
    m_cupsd.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_cupsd.start(QStringLiteral("/usr/sbin/cupsd"),
                  {QStringLiteral("-f"), QStringLiteral("-c"),
                   dir.filePath(QStringLiteral("cupsd.conf")), QStringLiteral("-s"),
                   dir.filePath(QStringLiteral("cups-files.conf"))});
    if (!m_cupsd.waitForStarted(5000))
        return QStringLiteral("cupsd did not start: ") + m_cupsd.errorString();
    qputenv("CUPS_SERVER", socket.toLocal8Bit());
    qputenv("CUPS_SERVERROOT", dir.path().toLocal8Bit());
    const QDeadlineTimer deadline(10000);
    // lpstat -r answers 0 either way: only its words tell.
    while (run(QStringLiteral("lpstat"), {QStringLiteral("-r")}).trimmed()
           != u"scheduler is running") {
        if (deadline.hasExpired() || m_cupsd.state() == QProcess::NotRunning)
            return QStringLiteral("cupsd did not answer on its socket");
        QThread::msleep(20);
    }

    if (!admin(QStringLiteral("lpadmin"),
               {QStringLiteral("-p"), QStringLiteral("captura"), QStringLiteral("-E"),
                QStringLiteral("-v"), QStringLiteral("capture:") + capturedDocument(),
                QStringLiteral("-m"), QStringLiteral("raw")})
        || !admin(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("captura")}))
        return QStringLiteral("lpadmin could not create the queue");
    return QString();
}

bool PrivateCups::admin(const QString &program, const QStringList &arguments) const
{
    bool ok = false;
    run(program, arguments, &ok);
    return ok;
}

bool PrivateCups::waitForJobs() const
{
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        const QString pending =
            run(QStringLiteral("lpstat"),
                {QStringLiteral("-W"), QStringLiteral("not-completed"), QStringLiteral("-o")});
        if (pending.trimmed().isEmpty() && QFileInfo(capturedDocument()).size() > 0)
            return true;
        QThread::msleep(50);
    }
    return false;
}

int pdfPageCount(const QString &pdf)
{
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"),
                                          QRegularExpression::MultilineOption);
    const auto match = pages.match(run(QStringLiteral("pdfinfo"), {pdf}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QString pdfText(const QString &pdf, int firstPage, int lastPage)
{
    QStringList arguments{QStringLiteral("-f"), QString::number(firstPage)};
    if (lastPage > 0)
        arguments << QStringLiteral("-l") << QString::number(lastPage);
    arguments << pdf << QStringLiteral("-");
    return run(QStringLiteral("pdftotext"), arguments);
}
