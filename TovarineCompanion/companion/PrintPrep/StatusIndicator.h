#pragma once

#include "StatusSymbols.h"

#include <QWidget>

class QTimer;

namespace tovarine {

// The mark in front of a status line: a small spinning indicator while busy, otherwise the status symbol.
// GUI thread only.
class StatusIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit StatusIndicator(int sizePx, QWidget* parent = nullptr);

    void setBusy(bool busy);
    bool isBusy() const { return m_busy; }
    void setStatus(StatusSymbols::Status status);
    StatusSymbols::Status status() const { return m_status; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_sizePx;
    bool m_busy = false;
    StatusSymbols::Status m_status = StatusSymbols::Status::ok;
    int m_phase = 0;
    QTimer* m_timer = nullptr;
};

} // namespace tovarine
