#include "OstrelPreferencesPanel.h"

#include "OstrelWindows.h"

#include <QPointer>
#include <QVBoxLayout>

namespace ostrel::OstrelPreferencesPanel {

namespace {
QPointer<QWidget>& slot()
{
    static QPointer<QWidget> window;
    return window;
}
} // namespace

void show(const QString& appName, QWidget* appSpecific)
{
    if (QWidget* existing = slot()) {
        delete appSpecific;
        OstrelWindows::present(existing);
        return;
    }
    auto* window = new QWidget;
    window->setObjectName(QStringLiteral("OstrelPreferencesPanel"));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setWindowTitle(appName + QStringLiteral(" Preferences"));
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowMaximizeButtonHint);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new OstrelPreferencesView(appName, appSpecific, OstrelPrefsLayout::full, window));
    window->resize(OstrelPreferencesView::kWidth, OstrelPreferencesView::kHeight);
    window->setMinimumSize(400, 560);
    OstrelWindows::centreOnScreen(window);
    OstrelWindows::present(window);
    slot() = window;
}

QWidget* window()
{
    return slot();
}

} // namespace ostrel::OstrelPreferencesPanel

namespace ostrel {

OstrelSettingsScene::OstrelSettingsScene(const QString& appName, QWidget* appSpecific,
                                         OstrelPrefsLayout layout, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("OstrelSettingsScene"));
    setWindowTitle(appName + QStringLiteral(" Settings"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(new OstrelPreferencesView(appName, appSpecific, layout, this));
    setFixedSize(OstrelPreferencesView::kWidth, OstrelPreferencesView::kHeight);
}

} // namespace ostrel
