#pragma once

#include "AboutEmblemTile.h"
#include "OstrelAboutModel.h"

#include <QPointer>
#include <QWidget>

class QAbstractAnimation;

namespace ostrel {

class AboutEmblemTile;
class AboutSubtitleView;

// The About window's content, 500 × 280: accent bar, icon tile with the emblems, the two flipping
// taglines, the two-colour name line, descriptor, byline, version, gold divider and the kit's credit rows.
// The tile breathes (scale 1.0 ↔ 1.025, 2.5 s ease-in-out, reversing) from its first showing while motion
// is allowed; under reduce motion it stands at 1.025. GUI thread only.
class OstrelAboutView : public QWidget
{
    Q_OBJECT
public:
    static constexpr double kPulseScale = 1.025;
    static_assert(kPulseScale <= AboutEmblemTile::kMaxScale, "the tile's box must hold the breathing tile");
    static constexpr double kPulseDurationS = 2.5;

    explicit OstrelAboutView(OstrelAboutModel model, QWidget* parent = nullptr);

    const OstrelAboutModel& model() const { return m_model; }
    bool pulse() const { return m_pulse; }
    AboutEmblemTile* tile() const { return m_tile; }
    bool tileAnimating() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void applyPulse();

    OstrelAboutModel m_model;
    bool m_pulse = false;
    AboutEmblemTile* m_tile = nullptr;
    QPointer<QAbstractAnimation> m_tileAnimation;
};

} // namespace ostrel
