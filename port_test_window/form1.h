#pragma once

#include "fixed_window.h"
#include "form1_design.h"
#include "inpout.h"

#include <QPalette>
#include <QPointer>
#include <QWidget>

#include <cstdint>

class FormAyuda;
class PinWindow;
class QPushButton;

// The port test window: an address and a value, buttons that read and write the port, and a
// live display of the value and of the data register at 888, on the port session it is given.
class Form1 : public QWidget, private Inpout
{
    Q_OBJECT

public:
    explicit Form1(port::Session ports, QWidget *parent = nullptr);
    ~Form1() override;

    using Inpout::session;

    // Every failed action is reported through this one funnel.
    void setErrorReporter(ErrorReporter reporter);

    // Brings the indicators, the bit texts and the port reading up to date.
    void ActualizarPantalla();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Initialize();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command6_Click(int Index);
    void Command7_Click();
    void CommandInfo_Click();
    void openPinWindow();
    void Text1_LostFocus();
    void Text2_Change();
    void Text2_LostFocus();

    template <typename Steps>
    void runAction(const QPushButton *button, Steps steps);
    std::int16_t toInt16(double number, const QString &action, const QString &fieldText) const;
    [[nodiscard]] QString setValueText(const QString &text);
    void sendValue(const QString &addressPrefix, const QString &action);

    QString showBits(std::int32_t number, int first);
    void showNoReading();
    [[nodiscard]] QString refreshFromField();
    void refreshAndSay();
    void showValueError(const QString &message);
    void clearValueError();

    Form1Ui ui;
    ErrorReporter m_reportError;
    QPalette m_valuePalette;
    bool m_valueMarked = false;
    QPointer<FormAyuda> m_formAyuda; // loaded while it is set; closing the window unloads it
    QPointer<PinWindow> m_pinWindow;
};
