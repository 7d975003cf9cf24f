#include "form_ayuda.h"
#include "info_file.h"

#include <QDir>
#include <QFile>
#include <QPlainTextDocumentLayout>
#include <QTemporaryDir>
#include <QTextDocument>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

enum class Encoding { Utf8, Windows1252 };

// An information file of about the given size, in lines of about 40 bytes with accents, as the
// real one is written.
QByteArray informationText(qsizetype size, Encoding encoding)
{
    const QString lines[] = {
        u"El puerto paralelo tiene 25 patillas."_qs,
        u"Dirección base: 378h, 278h o 3BCh."_qs,
        u"Registro de datos D0-D7: patillas 2-9."_qs,
        u"Nunca conecte con el equipo encendido."_qs,
    };
    QByteArray text;
    text.reserve(size + 64);
    for (int i = 0; text.size() < size; ++i) {
        const QString &line = lines[i % 4];
        text += encoding == Encoding::Utf8 ? line.toUtf8() : line.toLatin1();
        text += "\r\n";
    }
    return text;
}

// Each benchmark reads the file from its own folder, as the program reads it from its own.
class InfoFileFixture
{
public:
    InfoFileFixture(qsizetype size, Encoding encoding)
        : m_previous(QDir::currentPath())
    {
        QFile file(m_directory.filePath(QString::fromLatin1(InfoFileName)));
        if (!m_directory.isValid() || !file.open(QIODevice::WriteOnly))
            std::abort();
        const QByteArray text = informationText(size, encoding);
        file.write(text);
        m_bytes = text.size();
        QDir::setCurrent(m_directory.path());
    }
    ~InfoFileFixture() { QDir::setCurrent(m_previous); }

    qsizetype bytes() const { return m_bytes; }

private:
    QTemporaryDir m_directory;
    QString m_previous;
    qsizetype m_bytes = 0;
};

constexpr qsizetype MB = 1024 * 1024;

// What reading the bytes alone costs: the floor for any reader.
void BM_ReadAllBaseline(benchmark::State &state)
{
    const InfoFileFixture file(state.range(0) * MB, Encoding::Utf8);
    for (auto _ : state) {
        QFile in(QString::fromLatin1(InfoFileName));
        if (!in.open(QIODevice::ReadOnly))
            std::abort();
        benchmark::DoNotOptimize(in.readAll());
    }
    state.SetBytesProcessed(state.iterations() * file.bytes());
}

void BM_ReadInfoFile(benchmark::State &state)
{
    const InfoFileFixture file(state.range(0) * MB, Encoding(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(readInfoFile());
    state.SetBytesProcessed(state.iterations() * file.bytes());
}

// The whole load as the user waits for it: the window made, the file read and the text box
// filled. Closing the window is not part of it.
void BM_FormAyudaLoad(benchmark::State &state)
{
    const InfoFileFixture file(state.range(0) * MB, Encoding::Utf8);
    for (auto _ : state) {
        auto form = std::make_unique<FormAyuda>();
        form->Form_Load();
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * file.bytes());
}

// The floor of any load into a plain text box: Qt's own document filled with the text already
// read, one block per line, with no window around it.
void BM_TextDocumentFloor(benchmark::State &state)
{
    const InfoFileFixture file(state.range(0) * MB, Encoding::Utf8);
    const QString text = readInfoFile();
    for (auto _ : state) {
        auto document = std::make_unique<QTextDocument>();
        document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
        document->setPlainText(text);
        state.PauseTiming();
        document.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * file.bytes());
}

// 7 MB, just under the reader's limit of 8 MB, is the largest file the window takes.
BENCHMARK(BM_ReadAllBaseline)->Arg(1)->Arg(5)->Arg(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadInfoFile)
    ->Args({1, int(Encoding::Utf8)})
    ->Args({5, int(Encoding::Utf8)})
    ->Args({7, int(Encoding::Utf8)})
    ->Args({7, int(Encoding::Windows1252)})
    ->ArgNames({"MB", "cp1252"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormAyudaLoad)
    ->Arg(1)
    ->Arg(5)
    ->Arg(7)
    ->ArgName("MB")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_TextDocumentFloor)
    ->Arg(1)
    ->Arg(5)
    ->Arg(7)
    ->ArgName("MB")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
