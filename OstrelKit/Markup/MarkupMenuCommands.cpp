#include "MarkupMenuCommands.h"

#include "MarkupOverlay.h"

#include <QAction>
#include <QMenu>

MarkupMenuCommands::MarkupMenuCommands(QObject* parent) : QObject(parent)
{
    m_toggle = new QAction(tr("Toggle Markup Mode"), this);
    m_toggle->setObjectName(QStringLiteral("toggleMarkupMode"));
    m_toggle->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+M")));
    connect(m_toggle, &QAction::triggered, this, &MarkupMenuCommands::toggleMarkup);
}

void MarkupMenuCommands::addTo(QMenu* menu)
{
    menu->addSeparator();
    menu->addAction(m_toggle);
}

void MarkupMenuCommands::toggleMarkup()
{
    if (MarkupOverlay* focused = MarkupOverlay::containing(nullptr)) {
        focused->state()->toggle();
    } else if (MarkupState::shared) {
        MarkupState::shared->toggle();
    }
}
