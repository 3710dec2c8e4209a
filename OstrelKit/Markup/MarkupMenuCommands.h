#pragma once

#include <QObject>

class QAction;
class QMenu;

// The menu command "Toggle Markup Mode" (Ctrl+Shift+M). It toggles the overlay that holds the keyboard focus, or
// else the overlay shown last, or does nothing when there is none. GUI thread only.
class MarkupMenuCommands : public QObject {
    Q_OBJECT

public:
    explicit MarkupMenuCommands(QObject* parent = nullptr);

    QAction* toggleAction() const { return m_toggle; }
    // Adds the command at the end of `menu`, after a separator.
    void addTo(QMenu* menu);

    static void toggleMarkup();

private:
    QAction* m_toggle;
};
