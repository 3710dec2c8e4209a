#include "KeptFocus.h"

namespace tovarine {

void KeptFocus::park(const QList<QWidget*>& leaving)
{
    QWidget* focused = m_panel->window()->focusWidget();
    if (!focused || !leaving.contains(focused)) {
        return;
    }
    m_parked = focused;
    m_panel->setFocus(Qt::OtherFocusReason);
}

void KeptFocus::restore()
{
    if (!m_parked) {
        return;
    }
    QWidget* parked = m_parked;
    m_parked = nullptr;
    if (m_panel->window()->focusWidget() == m_panel && parked->isEnabled() && parked->isVisible()) {
        parked->setFocus(Qt::OtherFocusReason);
    }
}

} // namespace tovarine
