#include "pin_row.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTime>

namespace {

// Two columns of these fit beside the main window on a 1024-pixel screen.
constexpr int RowHeight = 20;
constexpr int NameWidth = 84;
constexpr int StateWidth = 84;
constexpr int TraceWidth = 92;
constexpr int ChangeWidth = 56;
constexpr int VerdictWidth = 14;

const QColor High(0xFF, 0x00, 0x00);
const QColor Low(0x00, 0x00, 0x00);
const QColor Unknown(0xA0, 0xA0, 0xA0);

QColor colourOf(pins::Level level)
{
    return level == pins::Level::High ? High : level == pins::Level::Low ? Low : Unknown;
}

} // namespace

PinRow::PinRow(int pinNumber, QWidget *parent)
    : QWidget(parent)
    , m_number(pinNumber)
{
    setObjectName(QStringLiteral("Pin%1").arg(pinNumber));
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QString::fromStdString(pins::accessibleName(pinNumber, std::nullopt)));
    setFixedSize(sizeHint());
}

QSize PinRow::sizeHint() const
{
    return {RowHeight + NameWidth + StateWidth + TraceWidth + ChangeWidth + VerdictWidth,
            RowHeight};
}

// Repaints only what a person would see change: at 20 samples a second most rows look the same,
// and a trace moves one pixel every TraceSpan / width (about 110 ms).
void PinRow::showSample(const std::optional<port::Registers> &registers,
                        const pins::PinTrace *trace, pins::Millis now, const QString &failure)
{
    if (isGround())
        return;
    const port::Pin &pin = port::signalPins()[std::size_t(m_number - 1)];
    const pins::Level level = pins::levels(registers)[std::size_t(m_number - 1)];
    const bool output = registers && !port::isInput(pin, *registers);
    const std::optional<pins::Millis> changed = trace ? trace->lastChange() : std::nullopt;
    const bool flat =
        !trace || (trace->steps().size() == 1 && trace->steps()[0].at <= now - pins::TraceSpan);
    const pins::Millis scroll = flat ? -1 : now * (TraceWidth - 4) / pins::TraceSpan;
    const bool same = level == m_level && output == m_output && m_hasReading == bool(registers)
                      && changed == m_changedAt && trace == m_trace && failure == m_failure;
    m_trace = trace;
    m_now = now;
    if (same) {
        if (scroll != m_scroll)
            update(traceArea()); // only the trace moved: its texts are not drawn again
        m_scroll = scroll;
        return;
    }
    m_level = level;
    m_output = output;
    m_hasReading = bool(registers);
    m_scroll = scroll;
    m_direction = !registers ? QString() : output ? u"salida"_qs : u"entrada"_qs;
    if (changed != m_changedAt) {
        m_changedAt = changed;
        m_lastChange =
            changed ? QTime::currentTime().addMSecs(int(*changed - now)).toString(u"HH:mm:ss"_qs)
                    : QString();
    }
    const QString name = QString::fromStdString(pins::accessibleName(m_number, registers));
    if (name != accessibleName())
        setAccessibleName(name);
    if (failure != m_failure) {
        m_failure = failure;
        if (m_verdict.isEmpty()) {
            setAccessibleDescription(failure);
            setToolTip(failure);
        }
    }
    update();
}

void PinRow::setVerdict(const QString &verdict, bool passed)
{
    m_verdict = verdict;
    m_passed = passed;
    setAccessibleDescription(verdict.isEmpty() ? QString() : u"Prueba: "_qs + verdict);
    setToolTip(accessibleDescription());
    update();
}

QRect PinRow::traceArea()
{
    return {RowHeight + NameWidth + StateWidth, 3, TraceWidth - 4, RowHeight - 6};
}

void PinRow::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    if (traceArea().contains(event->rect()) && !isGround()) {
        paintTrace(painter, traceArea());
        return;
    }
    const QRect dot(4, 4, RowHeight - 8, RowHeight - 8);
    painter.setRenderHint(QPainter::Antialiasing);
    if (hasFocus())
        painter.fillRect(rect(), palette().highlight().color().lighter(170));
    if (isGround()) {
        painter.setPen(Qt::darkGreen);
        painter.drawLine(dot.left(), dot.center().y(), dot.right(), dot.center().y());
        painter.drawLine(dot.left() + 3, dot.bottom(), dot.right() - 3, dot.bottom());
        painter.drawText(QRect(RowHeight, 0, NameWidth + StateWidth, RowHeight), Qt::AlignVCenter,
                         QStringLiteral("%1  masa (GND)").arg(m_number, 2));
        return;
    }
    const port::Pin &pin = port::signalPins()[std::size_t(m_number - 1)];
    painter.setPen(Qt::NoPen);
    painter.setBrush(colourOf(m_level));
    painter.drawEllipse(dot);
    painter.setPen(m_level == pins::Level::Unknown ? Unknown : palette().text().color());
    const QString level = m_level == pins::Level::Unknown ? u"—"_qs
                          : m_level == pins::Level::High  ? u"alto"_qs
                                                          : u"bajo"_qs;
    painter.drawText(QRect(RowHeight, 0, NameWidth, RowHeight), Qt::AlignVCenter,
                     QStringLiteral("%1  %2").arg(m_number, 2).arg(QString::fromLatin1(pin.name)));
    int x = RowHeight + NameWidth;
    painter.drawText(QRect(x, 0, StateWidth, RowHeight), Qt::AlignVCenter,
                     m_direction.isEmpty() ? level : m_direction + u"  "_qs + level);
    x += StateWidth;
    paintTrace(painter, traceArea());
    x += TraceWidth;
    painter.setPen(palette().text().color());
    painter.drawText(QRect(x, 0, ChangeWidth, RowHeight), Qt::AlignVCenter, m_lastChange);
    x += ChangeWidth;
    if (!m_verdict.isEmpty()) {
        painter.setPen(m_passed ? Qt::darkGreen : Qt::darkRed);
        painter.drawText(QRect(x, 0, VerdictWidth, RowHeight), Qt::AlignCenter,
                         m_passed ? u"✓"_qs : u"✗"_qs);
    }
}

// Like a logic analyser's: high lines at the top, low at the bottom, no reading as a grey band.
void PinRow::paintTrace(QPainter &painter, const QRect &area) const
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xF4, 0xF4, 0xF4));
    painter.drawRect(area);
    if (!m_trace || m_trace->steps().empty())
        return;
    const auto xOf = [&](pins::Millis at) {
        const pins::Millis since = std::max<pins::Millis>(at - (m_now - pins::TraceSpan), 0);
        return area.left() + int(since * area.width() / pins::TraceSpan);
    };
    const auto &steps = m_trace->steps();
    int previousY = -1;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const int from = xOf(steps[i].at);
        const int to = i + 1 < steps.size() ? xOf(steps[i + 1].at) : area.right();
        if (steps[i].level == pins::Level::Unknown) {
            painter.fillRect(QRect(from, area.top(), std::max(to - from, 1), area.height()),
                             QColor(0xC8, 0xC8, 0xC8));
            previousY = -1;
            continue;
        }
        const int y = steps[i].level == pins::Level::High ? area.top() : area.bottom();
        painter.setPen(QPen(colourOf(steps[i].level).darker(120), 1));
        if (previousY >= 0 && previousY != y)
            painter.drawLine(from, previousY, from, y);
        painter.drawLine(from, y, to, y);
        previousY = y;
    }
}

void PinRow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())
        && m_output)
        emit toggleRequested(m_number);
    QWidget::mouseReleaseEvent(event);
}

void PinRow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && m_output) {
        emit toggleRequested(m_number);
        return;
    }
    // The arrows walk the pins as Tab does, in the order of their numbers.
    if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up) {
        const bool forward = event->key() == Qt::Key_Down;
        if (forward ? m_number < 25 : m_number > 1)
            forward ? focusNextChild() : focusPreviousChild();
        return;
    }
    QWidget::keyPressEvent(event);
}
