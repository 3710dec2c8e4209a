#include "OstrelTextFocusGuard.h"

#include "OstrelTextFocus.h"

#include <QEvent>
#include <QWidget>

namespace ostrel {

OstrelTextFocusGuard::OstrelTextFocusGuard(QWidget* field, bool ownsFocus, bool focused)
    : QObject(field), m_ownsFocus(ownsFocus), m_focused(focused)
{
    if (ownsFocus && field->focusPolicy() == Qt::NoFocus) {
        field->setFocusPolicy(Qt::StrongFocus);
    }
    field->installEventFilter(this);
    // Destruction of the field counts as disappearing.
    connect(field, &QObject::destroyed, &OstrelTextFocus::shared(),
            [] { OstrelTextFocus::shared().setIsEditing(false); });
}

void OstrelTextFocusGuard::setFocused(bool focused)
{
    if (focused == m_focused) {
        return;
    }
    m_focused = focused;
    OstrelTextFocus::shared().setIsEditing(focused);
}

bool OstrelTextFocusGuard::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        if (m_ownsFocus) {
            setFocused(true);
        }
        break;
    case QEvent::FocusOut:
        if (m_ownsFocus) {
            setFocused(false);
        }
        break;
    case QEvent::Hide:
        m_focused = false;
        OstrelTextFocus::shared().setIsEditing(false);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

OstrelTextFocusGuard* ostrelTextFocusGuard(QWidget* field)
{
    return new OstrelTextFocusGuard(field, true);
}

OstrelTextFocusGuard* ostrelTextFocusGuard(QWidget* field, bool isFocused)
{
    return new OstrelTextFocusGuard(field, false, isFocused);
}

} // namespace ostrel
