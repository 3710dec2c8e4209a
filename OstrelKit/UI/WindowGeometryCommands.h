#pragma once

#include <QObject>

#include <functional>

class QMenu;

namespace ostrel {

class OstrelWindow;

// The geometry menu items for an application's menu bar: the "Window Aspect Ratio" submenu (one item per
// aspect preset, Ctrl+Alt with 1…5 and 0), the "Window Size" submenu (one item per size preset, no
// shortcuts), and, only with a capture action, a separator and "Tarnwick™" (Ctrl+Shift+F). GUI thread only.
class WindowGeometryCommands : public QObject
{
    Q_OBJECT
public:
    WindowGeometryCommands(OstrelWindow& windowController, std::function<void()> tarnwickAction = {},
                           QObject* parent = nullptr);

    // Appends the group to `menu` (the application's View or Window menu).
    void addTo(QMenu* menu);

private:
    OstrelWindow& m_controller;
    std::function<void()> m_tarnwick;
};

} // namespace ostrel
