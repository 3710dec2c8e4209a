#pragma once

#include "LickableGlossModifier.h"

#include <QWidget>

namespace ostrel {

// Gives `widget` the gloss look: a highlight overlay that lets clicks through to the widget, and the warm
// glow as the widget's graphics effect (replacing any other). Calling it again updates both. Returns the
// overlay. GUI thread only.
QWidget* lickableGloss(QWidget* widget, double intensity, double cornerRadius);

// The overlay widget that draws the highlight over its parent.
class LickableGlossOverlay : public QWidget
{
    Q_OBJECT
public:
    explicit LickableGlossOverlay(QWidget* parent);
    void setModifier(const LickableGlossModifier& modifier);
    const LickableGlossModifier& modifier() const { return m_modifier; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    LickableGlossModifier m_modifier;
};

} // namespace ostrel
