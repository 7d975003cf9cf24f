#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A print server of the test's own: its configuration, spool and socket in a temporary folder,
// with one queue, "captura", the default, that writes each job's document to a file. The
// machine's own printers are never touched: this process is pointed at the private server
// through CUPS_SERVER and CUPS_SERVERROOT, which must happen before its first printing call.
class PrivateCups
{
public:
    PrivateCups();
    ~PrivateCups();

    // Starts the server and creates the queue; returns an explanation when it could not.
    QString start();

    // Waits until the server has finished every job; false when it did not in time.
    bool waitForJobs() const;

    // The document of the last finished job, as the queue wrote it; tests remove it before they
    // print, so that waitForJobs sees the new one.
    QString capturedDocument() const { return m_dir.filePath(QStringLiteral("out/job.pdf")); }

    // Runs an administration command (lpadmin, cupsreject …) against this server.
    bool admin(const QString &program, const QStringList &arguments) const;

private:
    QTemporaryDir m_dir;
    QProcess m_cupsd;
};

// The page count and the text of a PDF, through poppler-utils.
int pdfPageCount(const QString &pdf);
QString pdfText(const QString &pdf, int firstPage = 1, int lastPage = 0);
