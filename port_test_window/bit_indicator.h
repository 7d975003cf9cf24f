#pragma once

#include <QWidget>

// One bit of the display: a small box, red for a 1, black for a 0, and grey while there is no
// reading to show.
class BitIndicator : public QWidget
{
    Q_OBJECT

public:
    enum class State { NoReading, Off, On };

    explicit BitIndicator(QWidget *parent = nullptr);

    State state() const { return m_state; }
    void setState(State state);

    // What a screen reader says for this indicator, e.g. "Valor, bit 0 (pin 2)".
    void setBitName(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describeState();

    State m_state = State::NoReading;
};
