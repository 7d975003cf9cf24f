#include "form1.h"

#include "bit_indicator.h"
#include "field_error.h"
#include "field_text.h"
#include "fixed_window.h"
#include "form_ayuda.h"
#include "info_file.h"
#include "last_resort.h"
#include "pin_window.h"

#include <QAction>
#include <QButtonGroup>
#include <QEvent>
#include <QFocusEvent>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolTip>

#include <memory>
#include <utility>

using namespace field_text;

namespace {

const QString ReadingCaption = QStringLiteral("Lectura del puerto ");

// A light red behind the value while it cannot be shown.
const QColor ValueErrorBase(0xFF, 0xD0, 0xD0);

// Focus that leaves because a dialog or another window took over is no loss of focus to the
// user: only a move to another control of this window counts.
bool isLossOfFocus(const QEvent *event)
{
    if (event->type() != QEvent::FocusOut)
        return false;
    const auto reason = static_cast<const QFocusEvent *>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

} // namespace

Form1::Form1(port::Session ports, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint)
    , Inpout(std::move(ports))
    , m_reportError(showMessageBox)
{
    // The layout is fixed in pixels: pin the font so that every caption fits its box.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(10);
    setFont(font);

    ui.setupUi(this);
    setUpFixedWindow(this, QStringLiteral("Velmora"), QIcon(QStringLiteral(":/art/plug-32.png")),
                     form1::ClientWidth, form1::ClientHeight);
    m_valuePalette = ui.Text2->palette();

    // Said once the window is on screen, through the funnel of the moment.
    const auto reportLater = [this](const QString &message) {
        QMetaObject::invokeMethod(
            this, [this, message] { m_reportError(this, message); }, Qt::QueuedConnection);
    };
    withLastResort(
        QStringLiteral("al iniciar"),
        [&] {
            const port::Action start = session().beginAction();
            try {
                Form_Initialize();
            } catch (const port::PortError &error) {
                reportLater(QString::fromStdString(session().explain(error)));
            }
        },
        reportLater);

    connect(ui.Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(ui.Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(ui.Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(ui.Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    auto *command6 = new QButtonGroup(this);
    for (int index = 0; index < int(ui.Command6.size()); ++index)
        command6->addButton(ui.Command6[index], index);
    connect(command6, &QButtonGroup::idClicked, this, &Form1::Command6_Click);
    connect(ui.Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(ui.CommandInfo, &QPushButton::clicked, this, &Form1::CommandInfo_Click);
    connect(ui.Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    // The pin window beside this one: F2, or the context menu.
    auto *pins = new QAction(QStringLiteral("Pines del puerto"), this);
    pins->setShortcut(Qt::Key_F2);
    pins->setShortcutContext(Qt::WindowShortcut);
    addAction(pins);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(pins, &QAction::triggered, this, &Form1::openPinWindow);
    ui.Text1->installEventFilter(this);
    ui.Text2->installEventFilter(this);
    ui.Command1->setFocus();
}

void Form1::setErrorReporter(ErrorReporter reporter)
{
    m_reportError = std::move(reporter);
}

void Form1::Form_Initialize()
{
    ui.Text1->setText(QString::number(StatusPort));
    ui.Text2->setText(QStringLiteral("0"));
    ui.Label7->setText(ReadingCaption + ui.Text1->text());
    ActualizarPantalla();
}

void Form1::ActualizarPantalla()
{
    const QString valueText = ui.Text2->text();
    std::int32_t v = 0;
    try {
        v = RoundToInt32(TextValue(valueText));
    } catch (const OverflowError &overflow) {
        const FieldError error(QStringLiteral("mostrar el valor"), valueText, overflow, 32);
        showValueError(error.message());
        throw error;
    }
    clearValueError();

    ui.Text3->setText(showBits(v, 0));
    try {
        ui.Text4->setText(NumberText(Inp32(StatusPort)));
        // A second, separate reading: if the port changes in between, the number and the bits
        // differ.
        const std::int32_t r = Inp32(StatusPort);
        ui.Text5->setText(showBits(r, 8));
    } catch (const port::PortError &) {
        showNoReading();
        throw;
    }
}

// An unreadable port shows no bits at all rather than the last ones it gave.
void Form1::showNoReading()
{
    ui.Text4->clear();
    ui.Text5->clear();
    for (int j = 8; j < 16; ++j)
        ui.Label3[j]->setState(BitIndicator::State::NoReading);
}

// Lights indicators first..first + 7 with bits 0..7 of number and returns them as text, bit 0
// first, the order in which the indicators stand from left to right.
QString Form1::showBits(std::int32_t number, int first)
{
    for (int i = 0; i <= 7; ++i) {
        const bool on = (number & (1 << i)) != 0;
        ui.Label3[first + i]->setState(on ? BitIndicator::State::On : BitIndicator::State::Off);
    }
    return QString::fromLatin1(number_text::BitText(number, number_text::BitOrder::LowFirst));
}

// An action stops at the step that fails; what ran before it stays done. The failure is reported
// once, through the window's funnel. Steps get where to put the unexpected error of the refresh
// that setting the value makes: the click goes on past it, and says it if nothing else failed.
template <typename Steps>
void Form1::runAction(const QPushButton *button, Steps steps)
{
    QString failure;
    QString unexpectedInRefresh;
    withLastResort(
        QStringLiteral("al pulsar «%1»").arg(button->text()),
        [&] {
            // One click is one action on the port: claimed once, given back when it is done.
            const port::Action click = session().beginAction();
            try {
                steps(unexpectedInRefresh);
            } catch (const FieldError &error) {
                failure = error.message();
            } catch (const port::PortError &error) {
                failure = QString::fromStdString(session().explain(error));
            }
        },
        [&](const QString &message) { failure = message; });
    if (failure.isEmpty())
        failure = unexpectedInRefresh;
    if (!failure.isEmpty())
        m_reportError(this, failure);
}

std::int16_t Form1::toInt16(double number, const QString &action, const QString &fieldText) const
{
    try {
        return RoundToInt16(number);
    } catch (const OverflowError &overflow) {
        throw FieldError(action, fieldText, overflow, 16);
    }
}

// Every handler that writes the value refreshes the window here, as the field's change does, even
// when the text stays the same: the port sees the same accesses each time. The change's own
// signal is held back so that this is the one refresh. Returns the refresh's unexpected error.
QString Form1::setValueText(const QString &text)
{
    if (ui.Text2->text() != text) {
        const QSignalBlocker noChangeSignal(ui.Text2);
        ui.Text2->setText(text);
    }
    return refreshFromField();
}

void Form1::Command1_Click()
{
    runAction(ui.Command1, [this](QString &unexpectedInRefresh) {
        const QString typed = ui.Text1->text();
        const PortAddress address = toInt16(TextValue(HexPrefix + typed),
                                            QStringLiteral("leer la dirección hexadecimal"), typed);
        unexpectedInRefresh = setValueText(NumberText(Inp32(address)));
        ActualizarPantalla();
    });
}

void Form1::Command2_Click()
{
    runAction(ui.Command2, [this](QString &) {
        sendValue(HexPrefix, QStringLiteral("escribir en la dirección hexadecimal"));
        ActualizarPantalla();
    });
}

void Form1::Command3_Click()
{
    runAction(ui.Command3, [this](QString &unexpectedInRefresh) {
        const QString typed = ui.Text1->text();
        const PortAddress address =
            toInt16(TextValue(typed), QStringLiteral("leer la dirección"), typed);
        unexpectedInRefresh = setValueText(NumberText(Inp32(address)));
        // in Dec reads port 888 once more than in Hex, as it always has: a probe on the port sees
        // it.
        ui.Text4->setText(NumberText(Inp32(StatusPort)));
        ActualizarPantalla();
    });
}

void Form1::Command4_Click()
{
    runAction(ui.Command4, [this](QString &) {
        sendValue(QString(), QStringLiteral("escribir en la dirección"));
        ActualizarPantalla();
    });
}

// The write buttons: the value, always decimal, to the address read with the given prefix.
void Form1::sendValue(const QString &addressPrefix, const QString &action)
{
    const QString typed = ui.Text1->text();
    const double addressNumber = TextValue(addressPrefix + typed);
    // The value is checked before the address: with both out of range, the value is named.
    const PortValue value =
        toInt16(TextValue(ui.Text2->text()), QStringLiteral("enviar el valor"), ui.Text2->text());
    const PortAddress address = toInt16(addressNumber, action, typed);
    Out32(address, value);
}

void Form1::Command6_Click(int Index)
{
    runAction(ui.Command6[Index], [this](QString &unexpectedInRefresh) {
        unexpectedInRefresh = setValueText(NumberText(TextValue(ui.Text2->text()) + 1));
        ActualizarPantalla();
    });
}

void Form1::Command7_Click()
{
    runAction(ui.Command7, [this](QString &unexpectedInRefresh) {
        unexpectedInRefresh = setValueText(PlainNumberText(TextValue(ui.Text2->text()) - 1));
        ActualizarPantalla();
    });
}

// The information window has no owner: it outlives this window, and the program with it, until
// it is closed too. Closing it unloads it, so that the next click reads the file afresh.
void Form1::CommandInfo_Click()
{
    withLastResort(
        QStringLiteral("al abrir la información del puerto"),
        [this] {
            if (!m_formAyuda) {
                auto form = std::make_unique<FormAyuda>();
                form->setAttribute(Qt::WA_DeleteOnClose);
                form->setErrorReporter(m_reportError);
                try {
                    form->Form_Load();
                } catch (const InfoFileError &error) {
                    m_reportError(this, error.message());
                    return;
                }
                placeBeside(form.get(), this);
                m_formAyuda = form.release(); // from here on it deletes itself when closed
            }
            m_formAyuda->show();
            m_formAyuda->raise();
            m_formAyuda->activateWindow();
        },
        [this](const QString &message) { m_reportError(this, message); });
}

// The pin window works on this window's session, which goes before QWidget's own teardown
// would delete it.
Form1::~Form1()
{
    delete m_pinWindow;
}

// On this window's session, so it is this window's own: closing it deletes it, and it goes with
// this window at the latest (~Form1).
void Form1::openPinWindow()
{
    if (!m_pinWindow) {
        m_pinWindow = new PinWindow(pins::PinPort(session()), this);
        m_pinWindow->setAttribute(Qt::WA_DeleteOnClose);
        m_pinWindow->setErrorReporter(m_reportError);
        placeBeside(m_pinWindow, this);
    }
    m_pinWindow->show();
    m_pinWindow->raise();
    m_pinWindow->activateWindow();
}

// The caption names whatever the field holds; the reading below it is always of port 888.
void Form1::Text1_LostFocus()
{
    ui.Label7->setText(ReadingCaption + ui.Text1->text());
    refreshAndSay();
}

void Form1::Text2_Change()
{
    refreshAndSay();
}

void Form1::Text2_LostFocus()
{
    refreshAndSay();
}

// Typing and moving between fields never open a dialog: a value that cannot be shown is marked
// in the field itself, and the display keeps what it showed; a port that cannot be read shows
// no reading, and is reported at the next click. Anything unexpected is returned, for the
// caller's boundary to say.
QString Form1::refreshFromField()
{
    const port::Action refresh = session().beginAction();
    QString unexpected;
    withLastResort(
        QStringLiteral("al actualizar la ventana"),
        [this] {
            try {
                ActualizarPantalla();
            } catch (const FieldError &) {
            } catch (const port::PortError &) {
            }
        },
        [&unexpected](const QString &message) { unexpected = message; });
    return unexpected;
}

// The refresh of a field's own event, which is its own boundary.
void Form1::refreshAndSay()
{
    if (const QString unexpected = refreshFromField(); !unexpected.isEmpty())
        m_reportError(this, unexpected);
}

void Form1::showValueError(const QString &message)
{
    QPalette marked = m_valuePalette;
    marked.setColor(QPalette::Base, ValueErrorBase);
    ui.Text2->setPalette(marked);
    ui.Text2->setToolTip(message);
    ui.Text2->setAccessibleDescription(message);
    m_valueMarked = true;
    QToolTip::showText(ui.Text2->mapToGlobal(QPoint(0, ui.Text2->height())), message, ui.Text2);
}

void Form1::clearValueError()
{
    if (!m_valueMarked)
        return;
    m_valueMarked = false;
    ui.Text2->setPalette(m_valuePalette);
    ui.Text2->setToolTip(QString());
    ui.Text2->setAccessibleDescription(QString());
    QToolTip::hideText();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (isLossOfFocus(event)) {
        withLastResort(
            QStringLiteral("al salir del campo"),
            [&] {
                if (watched == ui.Text1)
                    Text1_LostFocus();
                else if (watched == ui.Text2)
                    Text2_LostFocus();
            },
            [this](const QString &message) { m_reportError(this, message); });
    }
    return QWidget::eventFilter(watched, event);
}
