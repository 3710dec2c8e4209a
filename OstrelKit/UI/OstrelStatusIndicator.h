#pragma once

#include "OstrelStatus.h"

#include <QWidget>

namespace ostrel {

// A status icon: the status's symbol in its colour at `size` points, spoken as the status's label. The same
// drawing serves every status mark in the kit's applications (OstrelSymbolPainter). GUI thread only.
class OstrelStatusIndicator : public QWidget
{
    Q_OBJECT
public:
    using Status = OstrelStatus::Status;

    OstrelStatusIndicator(Status status, double size, QWidget* parent = nullptr);

    Status status() const { return m_status; }
    void setStatus(Status status);
    double size() const { return m_size; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Status m_status;
    double m_size;
};

} // namespace ostrel
