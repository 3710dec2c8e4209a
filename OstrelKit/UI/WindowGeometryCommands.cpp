#include "WindowGeometryCommands.h"

#include "OstrelWindow.h"

#include <QKeySequence>
#include <QMenu>

namespace ostrel {

WindowGeometryCommands::WindowGeometryCommands(OstrelWindow& windowController,
                                               std::function<void()> tarnwickAction, QObject* parent)
    : QObject(parent), m_controller(windowController), m_tarnwick(std::move(tarnwickAction))
{
}

void WindowGeometryCommands::addTo(QMenu* menu)
{
    QMenu* aspects = menu->addMenu(QStringLiteral("Window Aspect Ratio"));
    for (AspectRatioPreset preset : AspectRatioPresets::all()) {
        QAction* item = aspects->addAction(AspectRatioPresets::label(preset));
        item->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+") + AspectRatioPresets::shortcut(preset)));
        connect(item, &QAction::triggered, this, [this, preset] { m_controller.setAspect(preset); });
    }
    QMenu* sizes = menu->addMenu(QStringLiteral("Window Size"));
    for (WindowPreset preset : WindowPresets::all()) {
        QAction* item = sizes->addAction(WindowPresets::label(preset));
        connect(item, &QAction::triggered, this, [this, preset] { m_controller.setSize(preset); });
    }
    if (m_tarnwick) {
        menu->addSeparator();
        QAction* capture = menu->addAction(QStringLiteral("Tarnwick\u2122"));
        capture->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+F")));
        connect(capture, &QAction::triggered, this, [this] { m_tarnwick(); });
    }
}

} // namespace ostrel
