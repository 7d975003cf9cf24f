#pragma once

#include <QByteArrayView>

#include <memory>

class QString;

// The system's print spooler, reached through one connection whose every wait is bounded, so
// that a server that does not answer holds the window for a few seconds at most. Every call
// throws PrintError with the system's reason.
namespace print_spooler {

class Connection
{
public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // The name of the system's default printer, asked afresh each time.
    QString defaultPrinter();

    // Hands a PDF document, held in memory, to printer as one job; returns once the spooler has
    // taken it. Nothing is written to disk on this side.
    void submitPdf(const QString &printer, QByteArrayView pdf, const QString &title);

private:
    struct Server;
    std::unique_ptr<Server> m_server;
};

} // namespace print_spooler
