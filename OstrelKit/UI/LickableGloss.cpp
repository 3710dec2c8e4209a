#include "LickableGloss.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QPainter>

namespace ostrel {

LickableGlossOverlay::LickableGlossOverlay(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setObjectName(QStringLiteral("lickableGlossOverlay"));
    setGeometry(parent->rect());
    parent->installEventFilter(this);
}

void LickableGlossOverlay::setModifier(const LickableGlossModifier& modifier)
{
    m_modifier = modifier;
    update();
}

bool LickableGlossOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        raise();
    }
    return QWidget::eventFilter(watched, event);
}

void LickableGlossOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_modifier.paintHighlight(painter, QRectF(rect()));
}

QWidget* lickableGloss(QWidget* widget, double intensity, double cornerRadius)
{
    const LickableGlossModifier modifier{intensity, cornerRadius};
    auto* overlay = widget->findChild<LickableGlossOverlay*>(QString(), Qt::FindDirectChildrenOnly);
    if (!overlay) {
        overlay = new LickableGlossOverlay(widget);
    }
    overlay->setModifier(modifier);
    overlay->raise();
    overlay->show();
    auto* glow = qobject_cast<QGraphicsDropShadowEffect*>(widget->graphicsEffect());
    if (!glow) {
        glow = new QGraphicsDropShadowEffect(widget);
        widget->setGraphicsEffect(glow);
    }
    glow->setColor(modifier.glowColor());
    glow->setBlurRadius(modifier.glowBlurRadius());
    glow->setOffset(0, modifier.glowOffsetY());
    return overlay;
}

} // namespace ostrel
