#include "AspectBadge.h"
#include "HelpEntry.h"
#include "HelpTheme.h"
#include "KitDemoHost.h"
#include "LickableGloss.h"
#include "OstrelAboutView.h"
#include "OstrelFonts.h"
#include "OstrelIconGenerator.h"
#include "OstrelMotionPreference.h"
#include "OstrelPalette.h"
#include "OstrelPreferencesView.h"
#include "OstrelSlider.h"
#include "OstrelStatusIndicator.h"
#include "OstrelWindow.h"
#include "OstrelWindows.h"
#include "PrefsKey.h"
#include "SearchableHelpView.h"
#include "UserDefaults.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace ostrel;

// Each test opens one of the kit's views in the demo host and saves it for review.

TEST(KitScreenshots, SharedControls)
{
    auto* view = new QWidget;
    auto* column = new QVBoxLayout(view);
    auto* statuses = new QHBoxLayout;
    for (auto status : {OstrelStatus::Status::ok, OstrelStatus::Status::warning, OstrelStatus::Status::error,
                        OstrelStatus::Status::info, OstrelStatus::Status::inactive}) {
        statuses->addWidget(new OstrelStatusIndicator(status, 24));
        statuses->addWidget(OstrelWindows::plainLabel(OstrelStatus::accessibilityLabel(status),
                                                      OstrelFonts::system(11), OstrelPalette::ostrelCream(),
                                                      view));
    }
    statuses->addStretch(1);
    column->addLayout(statuses);
    OstrelSlider::Options options;
    options.step = 0.25;
    column->addWidget(new OstrelSlider(QStringLiteral("Opacity"), 0.5, options));
    auto* glosses = new QHBoxLayout;
    for (double intensity : {0.0, 0.3, 0.6, 1.0}) {
        auto* surface = new QLabel(QStringLiteral("gloss %1").arg(intensity));
        surface->setAlignment(Qt::AlignCenter);
        surface->setFixedSize(90, 50);
        surface->setStyleSheet(QStringLiteral("background: #241f30; color: #f0e0c0; border-radius: 8px;"));
        lickableGloss(surface, intensity, 8);
        glosses->addWidget(surface);
    }
    column->addLayout(glosses);
    test::KitDemoHost host(view);
    host.resize(520, 220);
    host.show();
    EXPECT_TRUE(test::saveKitScreenshot(&host, QStringLiteral("kit-shared-controls")));
}

TEST(KitScreenshots, Preferences)
{
    QTemporaryDir dir;
    UserDefaults store(dir.filePath(QStringLiteral("prefs.ini")));
    store.setValue(PrefsKey::lickableIntensity, 0.625);
    store.setValue(PrefsKey::vorraLick, true);
    auto* own = OstrelWindows::plainLabel(QStringLiteral("(the application's own settings)"),
                                          OstrelFonts::monospaced(10), OstrelPalette::ostrelCream(), nullptr);
    OstrelPreferencesView full(QStringLiteral("tovarine"), own, OstrelPrefsLayout::full, store);
    full.resize(OstrelPreferencesView::kWidth, OstrelPreferencesView::kHeight);
    full.show();
    EXPECT_TRUE(test::saveKitScreenshot(&full, QStringLiteral("kit-preferences")));
    OstrelPreferencesView minimal(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::minimal, store);
    minimal.resize(OstrelPreferencesView::kWidth, 360);
    minimal.show();
    EXPECT_TRUE(test::saveKitScreenshot(&minimal, QStringLiteral("kit-preferences-minimal")));
}

TEST(KitScreenshots, AboutAtTheLargestBreathAndHelpWithLongTitles)
{
    OstrelMotionPreference::shared().accessibilityChanged(true); // the tile stands at its largest scale
    OstrelAboutModel model;
    model.appName = QStringLiteral("tovarine");
    model.appNameAccent = QStringLiteral(" companion");
    model.versionString = QStringLiteral("0.1.0");
    model.descriptor = QStringLiteral("scan companion");
    model.tagline = QStringLiteral("from phone to print");
    model.emblems = {QStringLiteral("🗿"), QStringLiteral("📷")};
    OstrelAboutView about(model);
    about.show();
    EXPECT_TRUE(test::saveKitScreenshot(&about, QStringLiteral("kit-about-breathing")));

    const QList<HelpEntry> entries{
        HelpEntry(
            QStringLiteral("Reconstructing a capture with many frames and a very long descriptive title"),
            QStringLiteral("Long titles wrap in the list."), QStringLiteral("RECONSTRUCTION")),
        HelpEntry(QStringLiteral("Units"), QStringLiteral("Millimetres by default."),
                  QStringLiteral("UNITS")),
    };
    SearchableHelpView help(entries, {QStringLiteral("RECONSTRUCTION"), QStringLiteral("UNITS")},
                            HelpTheme::defaultTheme());
    help.resize(650, 360);
    help.show();
    EXPECT_TRUE(test::saveKitScreenshot(&help, QStringLiteral("kit-help-long-titles")));

    // At the column's 200 px minimum: titles of two and three lines keep their section line, and a section
    // name wider than any column wraps in its pill and in the detail pane.
    const QString wide = QStringLiteral("Photogrammetry settings for captures of shiny, dark things");
    const QList<HelpEntry> narrowEntries{
        HelpEntry(QStringLiteral("Reconstruction of your capture"), QStringLiteral("Two lines here."),
                  QStringLiteral("Reconstruction")),
        HelpEntry(QStringLiteral("Reconstructing a capture with many frames and a long title"),
                  QStringLiteral("Three lines here."), wide),
        HelpEntry(QStringLiteral("Units"), QStringLiteral("Millimetres by default."),
                  QStringLiteral("Units")),
    };
    SearchableHelpView narrow(narrowEntries,
                              {QStringLiteral("Reconstruction"), wide, QStringLiteral("Units")},
                              HelpTheme::defaultTheme());
    narrow.resize(650, 360);
    narrow.selectEntry(narrowEntries.at(1));
    narrow.show();
    auto* split = narrow.findChild<QSplitter*>(QStringLiteral("helpSplit"));
    ASSERT_NE(split, nullptr);
    split->setSizes({200, 450});
    EXPECT_TRUE(test::saveKitScreenshot(&narrow, QStringLiteral("kit-help-minimum-column")));
}

TEST(KitScreenshots, AspectBadgeAndTheGeneratedIcon)
{
    OstrelWindow controller;
    QWidget key;
    controller.setKeyWindowProvider([&key]() -> QWidget* { return &key; });
    auto* view = new QWidget;
    auto* row = new QHBoxLayout(view);
    auto* free = new AspectBadge(controller);
    row->addWidget(free);
    OstrelWindow wide;
    wide.setKeyWindowProvider([&key]() -> QWidget* { return &key; });
    wide.setAspect(AspectRatioPreset::wide);
    row->addWidget(new AspectBadge(wide));
    auto* icon = new QLabel;
    icon->setPixmap(QPixmap::fromImage(OstrelIconGenerator::renderEmoji(QStringLiteral("🗿"), 128)));
    row->addWidget(icon);
    row->addStretch(1);
    test::KitDemoHost host(view);
    host.resize(320, 170);
    host.show();
    EXPECT_TRUE(test::saveKitScreenshot(&host, QStringLiteral("kit-aspect-badge-and-icon")));
}
