#pragma once

#include <QWidget>

namespace tovarine {

// An indeterminate progress indicator: a turning arc, 32 px. Turns only while visible. GUI thread only.
class BusyIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit BusyIndicator(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_timerId = 0;
    int m_angleDeg = 0;
};

} // namespace tovarine
