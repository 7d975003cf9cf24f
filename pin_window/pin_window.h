#pragma once

#include "fixed_window.h"
#include "pin_model.h"
#include "pin_port.h"

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class PinRow;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

// "Pines del puerto": the 25 pins of the connector of the chosen port, sampled every 50 ms while
// the window is on screen; output pins are toggled by a click, the data lines' direction by a
// switch, and the loopback self-test marks each pin with its verdict.
class PinWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int SampleInterval = 50; // ms: 20 samples a second

    explicit PinWindow(pins::PinPort port, QWidget *parent = nullptr);
    ~PinWindow() override;

    void setErrorReporter(ErrorReporter reporter);

    // The base chosen, or none when the text names no port.
    std::optional<std::uint16_t> base() const { return m_base; }
    bool sampling() const;

    // One sample now, shown on the pins.
    void sampleNow();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateSampling();
    void chooseBase();
    void togglePin(int pinNumber);
    void setDirection(bool inputs);
    void runSelfTest();
    void write(const pins::Write &write, const QString &action);
    void clearTraces();
    // A handler's last resort: what it did not expect is said once, and the window goes on.
    // False when it had to.
    bool guarded(const QString &action, const std::function<void()> &steps,
                 bool stopSampling = false);

    pins::PinPort m_port;
    ErrorReporter m_reportError;
    std::optional<std::uint16_t> m_base;
    std::optional<port::Registers> m_last;
    bool m_sampleFailed = false;
    std::array<pins::PinTrace, 17> m_traces;
    std::array<PinRow *, 25> m_rows{};
    QElapsedTimer m_clock;
    QTimer *m_timer = nullptr;
    QComboBox *m_portChoice = nullptr;
    QCheckBox *m_dataInputs = nullptr;
    QPushButton *m_selfTest = nullptr;
    QLabel *m_state = nullptr;
};
