#include "CompanionMenuCommands.h"

#include "ConcordancePanel.h"
#include "OstrelAboutPanel.h"
#include "OstrelTermsPanel.h"
#include "Screenshots.h"
#include "SearchableHelpRow.h"
#include "SearchableHelpView.h"
#include "SearchableHelpWindow.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

using namespace tovarine;

namespace {

// Saves the window's picture to screenshots/<name>.png and checks it shows more than a blank fill.
void capture(QWidget* window, const QString& name)
{
    ASSERT_NE(window, nullptr);
    QTest::qWait(400); // let the taglines flip and the layout settle
    const QImage image = window->grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            colours.insert(image.pixel(x, y));
        }
    }
    EXPECT_GT(colours.size(), 20) << name.toStdString() << " looks blank";
    const QString folder = tovarine::test::screenshotFolder();
    EXPECT_TRUE(image.save(folder + u'/' + name + QStringLiteral(".png")));
}

} // namespace

TEST(HelpWindowsScreenshots, FourWindowsFromTheMenu)
{
    CompanionMenuCommands::showAbout();
    capture(ostrel::OstrelAboutPanel::window(), QStringLiteral("about"));

    CompanionMenuCommands::showTerms();
    capture(ostrel::OstrelTermsPanel::window(), QStringLiteral("terms"));

    CompanionMenuCommands::showConcordance();
    capture(ostrel::ConcordancePanel::window(), QStringLiteral("concordance"));

    CompanionMenuCommands::showHelp(QString());
    QWidget* help = ostrel::SearchableHelpWindow::window();
    auto* view = help->findChild<ostrel::SearchableHelpView*>();
    const auto rows = help->findChildren<ostrel::SearchableHelpRow*>(QStringLiteral("topicRow"));
    ASSERT_GT(rows.size(), 10);
    view->selectEntry(rows.at(2)->entry());
    capture(help, QStringLiteral("help"));
    view->setSearchText(QStringLiteral("thick"));
    view->selectSection(QStringLiteral("Print prep"));
    capture(help, QStringLiteral("help-filtered"));
}
