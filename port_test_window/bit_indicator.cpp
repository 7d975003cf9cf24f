#include "bit_indicator.h"

#include "design_units.h"

#include <QPainter>

BitIndicator::BitIndicator(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    describeState();
}

void BitIndicator::setState(State state)
{
    // The display is refreshed on every keystroke; most refreshes change few bits.
    if (state == m_state)
        return;
    m_state = state;
    describeState();
    update();
}

void BitIndicator::setBitName(const QString &name)
{
    setAccessibleName(name);
}

void BitIndicator::describeState()
{
    switch (m_state) {
    case State::On:
        setAccessibleDescription(tr("1, encendido (rojo)"));
        break;
    case State::Off:
        setAccessibleDescription(tr("0, apagado (negro)"));
        break;
    case State::NoReading:
        setAccessibleDescription(tr("sin lectura"));
        break;
    }
}

void BitIndicator::paintEvent(QPaintEvent *)
{
    const quint32 colour = m_state == State::On    ? design::Red
                           : m_state == State::Off ? design::Black
                                                   : design::LightGrey;
    QPainter painter(this);
    painter.fillRect(rect(), design::colourFromWord(colour));
}
