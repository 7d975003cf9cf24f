#include "pin_window.h"

#include "last_resort.h"
#include "number_text.h"
#include "pin_row.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString hex(std::uint32_t number)
{
    return QString::number(number, 16).toUpper() + u'h';
}

// Read as the main window's "in Hex" reads an address: hexadecimal, as leniently as typed, so
// that "378h  parport0" is 378h. Base + 2 must be an address too.
std::optional<std::uint16_t> baseOfText(const QString &text)
{
    const double number =
        number_text::TextValue(std::string(number_text::HexPrefix) + text.toStdString());
    if (!(number >= 0.5 && number < 0xFFFD + 0.5))
        return std::nullopt;
    return std::uint16_t(number_text::RoundToInt32(number));
}

} // namespace

PinWindow::PinWindow(pins::PinPort port, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_port(std::move(port))
    , m_reportError(showMessageBox)
{
    setObjectName(QStringLiteral("PinWindow"));
    setWindowTitle(QStringLiteral("Pines del puerto"));
    // Pinned like the main window's, so that every row's texts fit their columns.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    setFont(font);

    auto *choiceLabel = new QLabel(QStringLiteral("&Puerto (hex):"), this);
    m_portChoice = new QComboBox(this);
    m_portChoice->setObjectName(QStringLiteral("PortChoice"));
    m_portChoice->setEditable(true);
    m_portChoice->setInsertPolicy(QComboBox::NoInsert);
    for (const pins::OfferedPort &offered : pins::offeredPorts())
        m_portChoice->addItem(hex(offered.base) + QStringLiteral("  ")
                              + QString::fromStdString(offered.label));
    m_portChoice->setAccessibleName(QStringLiteral("Puerto, dirección base en hexadecimal"));
    choiceLabel->setBuddy(m_portChoice);
    m_dataInputs = new QCheckBox(QStringLiteral("&Datos como entradas"), this);
    m_dataInputs->setObjectName(QStringLiteral("DataInputs"));
    m_dataInputs->setToolTip(QStringLiteral("Bit 5 del registro de control: las patillas 2 a 9 "
                                            "leen el conector (puerto bidireccional)"));
    m_selfTest = new QPushButton(QStringLiteral("Probar con &conector"), this);
    m_selfTest->setObjectName(QStringLiteral("SelfTest"));
    m_selfTest->setToolTip(QStringLiteral(
        "Prueba de bucle: escribe en las salidas y lee las entradas a través del conector"));
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("State"));
    m_state->setWordWrap(true);

    // Fixed measures, so that each pin stands at a known place: Pin n of 1 to 13 at
    // (8, 42 + 22 (n - 1)), 20 pixels high.
    auto *bar = new QWidget(this);
    bar->setFixedHeight(28);
    auto *top = new QHBoxLayout(bar);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(choiceLabel);
    top->addWidget(m_portChoice, 1);
    top->addWidget(m_dataInputs);
    top->addWidget(m_selfTest);

    // The connector's two rows side by side: 1 to 13 on the left, 14 to 25 on the right.
    auto *connector = new QGridLayout;
    connector->setSpacing(2);
    connector->setHorizontalSpacing(12);
    connector->setColumnStretch(2, 1); // room a wider bar leaves goes to the right
    for (int number = 1; number <= 25; ++number) {
        auto *row = new PinRow(number, this);
        m_rows[std::size_t(number - 1)] = row;
        connector->addWidget(row, number <= 13 ? number - 1 : number - 14, number <= 13 ? 0 : 1,
                             Qt::AlignLeft);
        connect(row, &PinRow::toggleRequested, this, &PinWindow::togglePin);
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addWidget(bar);
    layout->addLayout(connector);
    layout->addWidget(m_state);
    setFixedSize(sizeHint());

    m_timer = new QTimer(this);
    m_timer->setInterval(SampleInterval);
    connect(m_timer, &QTimer::timeout, this, &PinWindow::sampleNow);
    connect(m_portChoice, &QComboBox::activated, this, &PinWindow::chooseBase);
    connect(m_portChoice->lineEdit(), &QLineEdit::editingFinished, this, &PinWindow::chooseBase);
    connect(m_dataInputs, &QCheckBox::clicked, this, &PinWindow::setDirection);
    connect(m_selfTest, &QPushButton::clicked, this, &PinWindow::runSelfTest);

    m_base = baseOfText(m_portChoice->currentText());
    m_clock.start();
}

// Before the members go: hiding the window on the way out takes the focus from the base field,
// whose editingFinished would otherwise choose a base on a window half taken apart.
PinWindow::~PinWindow()
{
    m_timer->stop();
    disconnect(m_portChoice->lineEdit(), nullptr, this, nullptr);
}

void PinWindow::setErrorReporter(ErrorReporter reporter)
{
    m_reportError = std::move(reporter);
}

bool PinWindow::sampling() const
{
    return m_timer->isActive();
}

// Only a window the user can see takes samples: hidden or minimised, it reaches no port.
void PinWindow::updateSampling()
{
    const bool seen = isVisible() && !isMinimized() && m_base;
    if (seen && !m_timer->isActive()) {
        sampleNow();
        m_timer->start();
    } else if (!seen) {
        m_timer->stop();
    }
}

void PinWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateSampling();
}

void PinWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    updateSampling();
}

void PinWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        updateSampling();
}

bool PinWindow::guarded(const QString &action, const std::function<void()> &steps,
                        bool stopSampling)
{
    bool failed = false;
    withLastResort(action, steps, [&](const QString &message) {
        failed = true;
        if (stopSampling)
            m_timer->stop(); // said once, not at every tick: showing the window again resumes
        m_reportError(this, message);
    });
    return !failed;
}

void PinWindow::sampleNow()
{
    if (!m_base)
        return;
    guarded(
        QStringLiteral("al leer las patillas de %1").arg(hex(*m_base)),
        [this] {
            const pins::Reading reading = m_port.sample(*m_base);
            const pins::Millis now = m_clock.elapsed();
            m_last = reading.registers;
            const auto levels = pins::levels(reading.registers);
            for (std::size_t i = 0; i < m_traces.size(); ++i)
                m_traces[i].add(now, levels[i]);
            // A failed sample greys the pins and says why; it never shows a level it did not
            // read.
            const QString failure =
                reading.registers ? QString()
                                  : QStringLiteral("Sin lectura de %1: %2")
                                        .arg(hex(*m_base), QString::fromStdString(reading.failure));
            for (std::size_t i = 0; i < m_rows.size(); ++i)
                m_rows[i]->showSample(reading.registers,
                                      i < m_traces.size() ? &m_traces[i] : nullptr, now, failure);
            // A good sample clears only a failure, not the self-test's outcome.
            if (!reading.registers || m_sampleFailed)
                m_state->setText(failure);
            m_sampleFailed = !reading.registers;
            m_dataInputs->setEnabled(bool(reading.registers));
            if (reading.registers) {
                const QSignalBlocker blocker(m_dataInputs);
                m_dataInputs->setChecked(reading.registers->control & port::ControlReverse);
            }
        },
        true);
}

void PinWindow::chooseBase()
{
    guarded(QStringLiteral("al elegir el puerto"), [this] {
        const QString text = m_portChoice->currentText();
        const std::optional<std::uint16_t> base = baseOfText(text);
        if (base == m_base && base)
            return;
        m_base = base;
        clearTraces();
        if (!base) {
            m_timer->stop();
            m_reportError(this, QStringLiteral("No se pudo elegir el puerto «%1»: no es una "
                                               "dirección base de 1h a FFFDh. Escriba la "
                                               "dirección en hexadecimal, por ejemplo 378.")
                                    .arg(text));
            return;
        }
        updateSampling();
        if (m_timer->isActive())
            sampleNow();
    });
}

void PinWindow::clearTraces()
{
    for (pins::PinTrace &trace : m_traces)
        trace.clear();
    m_last.reset();
    for (PinRow *row : m_rows)
        row->setVerdict(QString(), false);
}

void PinWindow::togglePin(int pinNumber)
{
    const port::Pin &pin = port::signalPins()[std::size_t(pinNumber - 1)];
    if (!m_last)
        return; // an unread pin offers nothing to toggle
    const QString action = QStringLiteral("cambiar la patilla %1 (%2)")
                               .arg(pinNumber)
                               .arg(QString::fromLatin1(pin.name));
    guarded(QStringLiteral("al ") + action, [&] {
        if (const auto change = pins::toggle(pin, *m_last))
            write(*change, action);
    });
}

void PinWindow::setDirection(bool inputs)
{
    if (!m_last) {
        m_dataInputs->setChecked(!inputs);
        return;
    }
    const QString action = inputs ? QStringLiteral("poner los datos como entradas")
                                  : QStringLiteral("poner los datos como salidas");
    guarded(QStringLiteral("al ") + action,
            [&] { write(pins::dataDirection(inputs, *m_last), action); });
}

void PinWindow::write(const pins::Write &change, const QString &action)
{
    if (!m_base)
        return;
    const auto address = std::uint16_t(*m_base + change.offset);
    const std::string failure = m_port.write(address, change.value);
    if (!failure.empty())
        m_reportError(this, QStringLiteral("No se pudo %1 en %2: %3")
                                .arg(action, hex(address), QString::fromStdString(failure)));
    sampleNow();
}

void PinWindow::runSelfTest()
{
    if (!m_base) {
        chooseBase();
        return;
    }
    const bool ranThrough = guarded(QStringLiteral("al probar con el conector"), [this] {
        const selftest::Result result = m_port.selfTest(*m_base);
        if (result.ending == selftest::Ending::NoPort
            || result.ending == selftest::Ending::AccessFailed) {
            // A failed access's message names its address, its reason and what to do.
            const QString why =
                result.ending == selftest::Ending::NoPort
                    ? QStringLiteral(": todas las lecturas dan FFh, así que en esa dirección no "
                                     "hay ningún puerto. Elija la dirección base de la lista, "
                                     "que da los puertos del sistema, y vuelva a probar.")
                    : QStringLiteral(".\n\n") + QString::fromStdString(result.failure);
            m_reportError(this, QStringLiteral("No se pudo probar el puerto %1 con el conector%2")
                                    .arg(hex(*m_base), why));
            return;
        }
        for (std::size_t i = 0; i < result.pins.size(); ++i)
            m_rows[i]->setVerdict(QString::fromStdString(pins::verdictText(result.pins[i])),
                                  result.pins[i].verdict == selftest::Verdict::Pass);
        QString state =
            selftest::noPlug(result)
                ? QStringLiteral("Ninguna entrada sigue a ninguna salida: ¿está puesto el "
                                 "conector de bucle?")
            : result.plug
                ? QStringLiteral("Conector: %1.").arg(QString::fromUtf8(result.plug->name))
                : QStringLiteral("Conector de cableado propio.");
        if (result.wiringTested && result.control.outcome == selftest::Outcome::NotTested)
            state += QStringLiteral(" Registro de control sin probar: por ppdev se lee la copia "
                                    "del controlador, no el registro.");
        m_state->setText(state);
    });
    if (ranThrough) // else the same fault would be said twice
        sampleNow();
}
