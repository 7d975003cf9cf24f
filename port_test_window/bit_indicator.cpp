#include "bit_indicator.h"

#include <QPainter>

namespace {
constexpr quint32 Red = 0x0000FF;
}

QColor colourFromWord(quint32 colourWord)
{
    return QColor(colourWord & 0xFF, (colourWord >> 8) & 0xFF, (colourWord >> 16) & 0xFF);
}

BitIndicator::BitIndicator(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BitIndicator::setBackColor(quint32 colourWord)
{
    // The display is refreshed on every keystroke; most refreshes change few bits.
    if (colourWord == m_backColor)
        return;
    m_backColor = colourWord;
    describeState();
    update();
}

void BitIndicator::setBitName(const QString &name)
{
    setAccessibleName(name);
    describeState();
}

void BitIndicator::describeState()
{
    if (m_backColor == Red)
        setAccessibleDescription(tr("1, encendido (rojo)"));
    else if (m_backColor == 0)
        setAccessibleDescription(tr("0, apagado (negro)"));
    else
        setAccessibleDescription(tr("sin lectura"));
}

void BitIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), colourFromWord(m_backColor));
}
