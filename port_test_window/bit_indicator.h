#pragma once

#include <QWidget>

// One bit of the display: a small box whose background colour is its whole state.
class BitIndicator : public QWidget
{
    Q_OBJECT

public:
    explicit BitIndicator(QWidget *parent = nullptr);

    // A colour word: blue * 65536 + green * 256 + red.
    quint32 BackColor() const { return m_backColor; }
    void setBackColor(quint32 colourWord);

    // What a screen reader says for this indicator, e.g. "Valor, bit 0 (pin 2)".
    void setBitName(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describeState();

    quint32 m_backColor = 0;
};

// The colour a colour word stands for.
QColor colourFromWord(quint32 colourWord);
