#include "ConcordancePanel.h"

#include "ConcordanceView.h"
#include "OstrelWindows.h"

#include <QPointer>
#include <QVBoxLayout>

namespace ostrel::ConcordancePanel {

namespace {
QPointer<QWidget>& slot()
{
    static QPointer<QWidget> window;
    return window;
}
} // namespace

void show(const ConcordanceConfiguration& config)
{
    if (QWidget* existing = slot()) {
        OstrelWindows::present(existing);
        return;
    }
    auto* window = new QWidget;
    window->setObjectName(QStringLiteral("ConcordancePanel"));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new ConcordanceView(config, window));
    OstrelWindows::prepareFloating(window, config.appName + QStringLiteral(" Concordance"), QSize(580, 640),
                                   config.backgroundColor, true);
    window->setMinimumSize(480, 400);
    OstrelWindows::closeOnEscape(window);
    OstrelWindows::centreOnScreen(window);
    OstrelWindows::present(window);
    slot() = window;
}

QWidget* window()
{
    return slot();
}

} // namespace ostrel::ConcordancePanel
