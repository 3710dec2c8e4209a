#include "OstrelAboutPanel.h"

#include "OstrelAboutView.h"
#include "OstrelWindows.h"

#include <QPointer>
#include <QVBoxLayout>

namespace ostrel::OstrelAboutPanel {

namespace {
QPointer<QWidget>& slot()
{
    static QPointer<QWidget> window;
    return window;
}
} // namespace

void show(const OstrelAboutModel& model)
{
    if (QWidget* existing = slot()) {
        OstrelWindows::present(existing);
        return;
    }
    auto* window = new QWidget;
    window->setObjectName(QStringLiteral("OstrelAboutPanel"));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new OstrelAboutView(model, window));
    OstrelWindows::prepareFloating(window, model.windowTitle(), QSize(500, 280),
                                   model.effectivePalette().background, false);
    OstrelWindows::closeOnEscape(window);
    OstrelWindows::centreOnScreen(window);
    OstrelWindows::present(window);
    slot() = window;
}

QWidget* window()
{
    return slot();
}

} // namespace ostrel::OstrelAboutPanel
