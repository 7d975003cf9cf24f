#include "bit_indicator.h"
#include "design_units.h"
#include "form1.h"
#include "form1_design.h"
#include "inpout.h"
#include "simulated_port.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QLineEdit>
#include <QTest>
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// Each benchmark of a window shows it, as the user has it, on a simulated port; errors would open
// no box but end the run.
class ShownForm
{
public:
    ShownForm()
        : m_form(port::Session(std::make_unique<port::SimulatedPort>()))
    {
        m_form.setErrorReporter([](QWidget *, const QString &) { std::abort(); });
        m_form.show();
        m_form.activateWindow();
        if (!QTest::qWaitForWindowActive(&m_form))
            std::abort();
    }

    Form1 &form() { return m_form; }

    template <typename T>
    T *control(const char *name)
    {
        T *widget = m_form.findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            std::abort();
        return widget;
    }

private:
    Form1 m_form;
};

// The port side of a refresh: two readings of port 888. With changing=1, a write before them
// flips every bit of the port, so that the refresh has eight indicators and two texts to change.
void BM_PortReadsBaseline(benchmark::State &state)
{
    const bool changing = state.range(0) != 0;
    Inpout port{port::Session(std::make_unique<port::SimulatedPort>())};
    PortValue value = 0;
    for (auto _ : state) {
        if (changing) {
            value = PortValue(255 - value);
            port.Out32(StatusPort, value);
        }
        benchmark::DoNotOptimize(port.Inp32(StatusPort));
        benchmark::DoNotOptimize(port.Inp32(StatusPort));
    }
}

void BM_ActualizarPantalla(benchmark::State &state)
{
    const bool changing = state.range(0) != 0;
    ShownForm shown;
    port::Session &port = shown.form().session();
    port.write(StatusPort, 0);
    PortValue value = 0;
    for (auto _ : state) {
        if (changing) {
            value = PortValue(255 - value);
            port.write(StatusPort, value);
        }
        shown.form().ActualizarPantalla();
    }
    QCoreApplication::sendPostedEvents();
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// A keystroke as the event loop handles it: the key press and release, then the posted update
// request, whose handling paints what changed (and only that) and flushes it to the window.
void typeAndRepaint(QWidget *field, Qt::Key key)
{
    QTest::keyClick(field, key);
    QCoreApplication::sendPostedEvents();
}

// Two keystrokes per iteration: "1" after the "0" the field holds lights value indicator 0 and
// changes the bit text; Backspace puts both back.
void typeTwoKeys(benchmark::State &state, QWidget *field, QWidget *watched)
{
    field->setFocus();
    QCoreApplication::sendPostedEvents();
    const PaintCounter paints(watched);
    typeAndRepaint(field, Qt::Key_1);
    typeAndRepaint(field, Qt::Key_Backspace);
    if (paints.count < 2) {
        state.SkipWithError("the keystrokes did not repaint what they changed");
        return;
    }
    for (auto _ : state) {
        typeAndRepaint(field, Qt::Key_1);
        typeAndRepaint(field, Qt::Key_Backspace);
    }
    state.SetItemsProcessed(2 * state.iterations());
}

void BM_TypedCharacter(benchmark::State &state)
{
    ShownForm shown;
    auto *value = shown.control<QLineEdit>("Text2");
    value->setText(QStringLiteral("0"));
    value->end(false);
    typeTwoKeys(state, value, shown.control<BitIndicator>("Label3_0"));
}

// The same keystrokes into a bare line edit that nothing listens to, alone in a window of the
// same size and font, where the value field stands.
void BM_TypedCharacterBaseline(benchmark::State &state)
{
    QWidget window;
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(10);
    window.setFont(font);
    window.setFixedSize(form1::ClientWidth / design::TwipsPerPixel,
                        form1::ClientHeight / design::TwipsPerPixel);
    auto *field = new QLineEdit(&window);
    for (const form1::Control &c : form1::design()) {
        if (QLatin1StringView(c.name) == QLatin1StringView("Text2"))
            field->setGeometry(design::pixels(c.left, c.top, c.width, c.height));
    }
    field->setText(QStringLiteral("0"));
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        std::abort();
    field->end(false);
    typeTwoKeys(state, field, field);
}

BENCHMARK(BM_PortReadsBaseline)->Arg(0)->Arg(1)->ArgName("changing");
BENCHMARK(BM_ActualizarPantalla)->Arg(0)->Arg(1)->ArgName("changing");
BENCHMARK(BM_TypedCharacterBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypedCharacter)->Unit(benchmark::kMicrosecond);

} // namespace
