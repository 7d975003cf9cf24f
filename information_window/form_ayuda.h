#pragma once

#include "fixed_window.h"
#include "formayuda_design.h"

#include <QWidget>

#include <functional>

class QWindow;

// The help window: a text about the parallel port, read from the information file at load time,
// and the pin-out picture of the connector. It stands beside the port test window, with no owner.
class FormAyuda : public QWidget
{
    Q_OBJECT

public:
    FormAyuda();

    // Failures of printing are reported through this funnel; by default a modal message box.
    void setErrorReporter(ErrorReporter reporter);

    // Where every load takes its text from: by default readInfoFile(). Tests replace it.
    using TextSource = std::function<QString()>;
    static void setTextSource(TextSource source);

    // The load steps, once per load. Throws InfoFileError when the information file cannot be
    // read: the load stops there and the window is not to be shown.
    void Form_Load();

private:
    void Form_Activate();
    void Form_Deactivate();
    void CommandImprimir_Click();
    void focusWindowChanged(QWindow *window);

    FormAyudaUi ui;
    ErrorReporter m_reportError;
};

// Moves window, not yet shown, beside anchor: to its right if the screen has room there, else to
// its left, else as far right as the screen allows.
void placeBeside(QWidget *window, const QWidget *anchor);
