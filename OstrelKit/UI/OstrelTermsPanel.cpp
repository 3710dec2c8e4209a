#include "OstrelTermsPanel.h"

#include "OstrelTermsView.h"
#include "OstrelWindows.h"

#include <QPointer>
#include <QVBoxLayout>

namespace ostrel::OstrelTermsPanel {

namespace {
QPointer<QWidget>& slot()
{
    static QPointer<QWidget> window;
    return window;
}
} // namespace

void show(const QString& appName, bool includeFairUse, bool includePrivacy,
          const QList<TermsSection>& additionalSections)
{
    if (QWidget* existing = slot()) {
        OstrelWindows::present(existing);
        return;
    }
    QList<TermsSection> sections = OstrelTerms::sections(includeFairUse, includePrivacy);
    sections.append(additionalSections);

    auto* window = new QWidget;
    window->setObjectName(QStringLiteral("OstrelTermsPanel"));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new OstrelTermsView(appName, sections, window));
    OstrelWindows::prepareFloating(window, appName + QStringLiteral(" \u2014 Terms"), QSize(480, 520),
                                   OstrelTermsView::backgroundColor(), true);
    window->setMinimumSize(400, 300);
    OstrelWindows::closeOnEscape(window);
    OstrelWindows::centreOnScreen(window);
    OstrelWindows::present(window);
    slot() = window;
}

QWidget* window()
{
    return slot();
}

} // namespace ostrel::OstrelTermsPanel
