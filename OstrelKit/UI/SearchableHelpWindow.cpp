#include "SearchableHelpWindow.h"

#include "OstrelWindows.h"
#include "SearchableHelpView.h"

#include <QPointer>
#include <QVBoxLayout>

namespace ostrel::SearchableHelpWindow {

namespace {
QPointer<QWidget>& slot()
{
    static QPointer<QWidget> window;
    return window;
}
} // namespace

void open(const QString& title, const QList<HelpEntry>& entries, const QStringList& sections,
          const HelpTheme& theme)
{
    QWidget* existing = slot();
    if (existing && existing->isVisible()) {
        OstrelWindows::present(existing);
        return;
    }
    auto* window = new QWidget;
    window->setObjectName(QStringLiteral("SearchableHelpWindow"));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new SearchableHelpView(entries, sections, theme, window));
    OstrelWindows::prepareFloating(window, title, QSize(650, 500), theme.background, true);
    OstrelWindows::closeOnEscape(window);
    OstrelWindows::centreOnScreen(window);
    OstrelWindows::present(window);
    if (existing) {
        existing->deleteLater();
    }
    slot() = window;
}

QWidget* window()
{
    return slot();
}

} // namespace ostrel::SearchableHelpWindow
