#pragma once

#include "pin_model.h"

#include <QWidget>

// One pin of the connector in the pin window: its indicator, number, name, direction and level,
// its trace over the last ten seconds and the time it last changed, and the self-test's verdict.
// An output pin is toggled by a click or by Space.
class PinRow : public QWidget
{
    Q_OBJECT

public:
    explicit PinRow(int pinNumber, QWidget *parent = nullptr);

    int pinNumber() const { return m_number; }
    bool isGround() const { return m_number > 17; }

    // The sample's state of this pin; failure is the reason when there is no sample.
    void showSample(const std::optional<port::Registers> &registers, const pins::PinTrace *trace,
                    pins::Millis now, const QString &failure);
    void setVerdict(const QString &verdict, bool passed);

    QSize sizeHint() const override;

signals:
    void toggleRequested(int pinNumber);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    static QRect traceArea();
    void paintTrace(QPainter &painter, const QRect &area) const;

    const int m_number;
    pins::Level m_level = pins::Level::Unknown;
    bool m_output = false;
    QString m_direction;
    bool m_hasReading = false;
    pins::Millis m_scroll = -1;
    std::optional<pins::Millis> m_changedAt;
    QString m_failure;
    QString m_lastChange;
    QString m_verdict;
    bool m_passed = false;
    const pins::PinTrace *m_trace = nullptr;
    pins::Millis m_now = 0;
};
