#pragma once

#include <QObject>

class QWidget;

namespace ostrel {

// Mirrors a text field's keyboard focus into OstrelTextFocus::shared().isEditing. A guard that owns focus
// follows the field's own focus changes; one made for a caller's focus state leaves focus alone and is told
// each change through setFocused(). Either way, the field disappearing (hidden or destroyed) sets isEditing
// false. Owned by the field. GUI thread only.
class OstrelTextFocusGuard : public QObject
{
    Q_OBJECT
public:
    // `focused` is the state at creation; it is not written to the shared flag (only later changes are).
    OstrelTextFocusGuard(QWidget* field, bool ownsFocus, bool focused = false);

    // Reports the caller's focus state (a guard that owns focus also calls this itself).
    void setFocused(bool focused);
    bool focused() const { return m_focused; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_ownsFocus;
    bool m_focused = false;
};

// The guard that owns `field`'s focus.
OstrelTextFocusGuard* ostrelTextFocusGuard(QWidget* field);
// The guard for a caller that keeps its own focus state, now `isFocused`, and reports each later change with
// setFocused(); it takes no focus itself.
OstrelTextFocusGuard* ostrelTextFocusGuard(QWidget* field, bool isFocused);

} // namespace ostrel
