#pragma once

#include "DropReconstruction.h"

#include <QColor>
#include <QWidget>

class QLabel;
class QScrollArea;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace tovarine {

class ElidedLabel;

// The 340 x 340 dashed drop circle and what it shows inside for each drop state but `done`: the prompt
// (idle), a busy indicator and the message (preparing), the percentage, a bar, the message and Cancel
// (reconstructing), the failure with "Try again" (failed). The outline is 2 px (3 px while a drag hovers),
// dashes 10 on and 8 off with round caps, cyan while a drag hovers, else red at 70% while failed, else
// yellow. GUI thread only.
class DropCircle : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSizePx = 340;
    static constexpr int kContentPaddingPx = 36;

    explicit DropCircle(QWidget* parent = nullptr);

    void setState(const DropReconstruction::State& state);
    void setTargeted(bool targeted);
    // The idle prompt's detail words ("full detail").
    void setDetailWords(const QString& words);

    QColor outlineColor() const;
    qreal outlineWidthPx() const;

    // The percentage shown while reconstructing: the fraction x 100 truncated toward zero, then "%"
    // (0.999 gives "99%", 1.0 "100%"); a fraction that is not finite shows "0%".
    static QString percentText(double fraction);

signals:
    void cancelClicked();
    void tryAgainClicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* buildIdlePage();
    QWidget* buildPreparingPage();
    QWidget* buildReconstructingPage();
    QWidget* buildFailedPage();
    void fitFailedMessage();

    DropReconstruction::State m_state;
    bool m_targeted = false;
    QStackedWidget* m_pages = nullptr;
    QWidget* m_idlePage = nullptr;
    QWidget* m_preparingPage = nullptr;
    QWidget* m_reconstructingPage = nullptr;
    QWidget* m_failedPage = nullptr;
    QLabel* m_detailLine = nullptr;
    ElidedLabel* m_preparingMessage = nullptr;
    QLabel* m_percent = nullptr;
    QProgressBar* m_bar = nullptr;
    ElidedLabel* m_reconstructingMessage = nullptr;
    QLabel* m_failedMessage = nullptr;
    QScrollArea* m_failedScroll = nullptr;
};

} // namespace tovarine
