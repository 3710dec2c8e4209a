#pragma once

#include <QTimer>
#include <QWidget>

namespace ostrel {

// A small indeterminate progress indicator: an arc turning while the widget is visible. GUI thread only.
class OllamaSetupSpinner : public QWidget
{
    Q_OBJECT
public:
    // `diameterPx`: the drawn circle, in device-independent pixels.
    explicit OllamaSetupSpinner(int diameterPx, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_timer;
    int m_diameterPx;
    int m_angleDeg = 0;
};

} // namespace ostrel
