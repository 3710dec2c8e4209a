#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace tovarine {

// Keeps the keyboard focus where the user left it while a panel disables its own controls for a run. Qt hands
// the focus of a widget being disabled on to the next one in the focus chain: a number field there selects
// its text (typing then replaces it), a slider moves on the arrow keys. park() before the controls are
// disabled, restore() once they are enabled again. GUI thread only.
class KeptFocus
{
public:
    // `panel` outlives this object (it is usually its member).
    explicit KeptFocus(QWidget* panel) : m_panel(panel) {}

    // When the window's focus is on one of `leaving` (controls about to be disabled), the panel holds it
    // instead until restore().
    void park(const QList<QWidget*>& leaving);
    // When the panel still holds the focus, hands it back to the control that had it, if that can take it
    // again; focus the user moved elsewhere meanwhile stays there.
    void restore();

private:
    QWidget* m_panel;
    QPointer<QWidget> m_parked;
};

} // namespace tovarine
