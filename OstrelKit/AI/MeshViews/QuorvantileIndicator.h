#pragma once

#include <QColor>
#include <QWidget>

class QVariantAnimation;

namespace ostrel {

class Quorvantile;

// A small badge a host places in a corner of its window: whether other machines are present, whether the mesh
// is working, per-worker render progress and the last render's speed-up. It follows Quorvantile::shared() and
// draws nothing while the mesh is off. Its only interaction is its tooltip. GUI thread only.
class QuorvantileIndicator : public QWidget
{
    Q_OBJECT
public:
    // What the badge shows, derived afresh from the facade on every change.
    struct Look
    {
        bool visible = false;
        QString label; // "QUORVANTILE" or "OFFLINE"
        QColor dotColor;
        bool pulse = false; // the dot breathes while the mesh works with other machines
        QString status;
        QColor statusColor;
        QString tooltip;
        QString speedup;     // empty when the line is hidden
        int remoteCount = 0; // distinct hosts among the other machines
    };
    static Look describe(Quorvantile& mesh, const QColor& accent);
    // "done" for a finished worker, else its fraction as a whole percentage, truncated ("99%" for 0.999).
    static QString workerPercentText(double fraction, bool isDone);

    explicit QuorvantileIndicator(const QColor& accentColor, QWidget* parent = nullptr);
    ~QuorvantileIndicator() override;

    const Look& look() const { return m_look; }
    // Opacity the dot is drawn at right now (1 when settled, down to 0.3 while pulsing).
    double dotOpacity() const { return m_dotOpacity; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void applyPulse();
    QSize contentSize() const;

    QColor m_accent;
    Look m_look;
    double m_dotOpacity = 1.0;
    QVariantAnimation* m_pulse = nullptr;
};

} // namespace ostrel
