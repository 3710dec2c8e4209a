#include "AboutSubtitleView.h"

#include "AboutSubtitleFlip.h"
#include "OstrelFonts.h"
#include "OstrelPalette.h"
#include "OstrelWindows.h"

namespace ostrel {

AboutSubtitleView::AboutSubtitleView(QString source, QWidget* parent)
    : QLabel(parent)
    , m_source(std::move(source))
{
    setTextFormat(Qt::PlainText);
    setFont(OstrelFonts::monospaced(8, QFont::Light, false, 2));
    OstrelWindows::setTextColor(this, OstrelPalette::srgb(0.55, 0.38, 0.12));
    setText(m_source);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &AboutSubtitleView::tick);
}

void AboutSubtitleView::showEvent(QShowEvent* event)
{
    QLabel::showEvent(event);
    m_letters = AboutSubtitleFlip::letters(m_source);
    setText(m_letters.join(QString()));
    m_timer.start();
}

void AboutSubtitleView::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QLabel::hideEvent(event);
}

void AboutSubtitleView::tick()
{
    if (AboutSubtitleFlip::tick(m_letters)) {
        setText(m_letters.join(QString()));
    }
}

} // namespace ostrel
