#include "CompanionSettingsView.h"

#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

class CompanionSettingsViewTest : public ::testing::Test
{
protected:
    QString settingsPath() const { return m_dir.filePath(QStringLiteral("settings.ini")); }

    QTemporaryDir m_dir;
};

TEST_F(CompanionSettingsViewTest, DefaultsWithNothingStored)
{
    UserDefaults defaults(settingsPath());
    CompanionSettingsView view(defaults);
    EXPECT_EQ(view.width(), 420);
    EXPECT_EQ(view.findChild<QComboBox*>(QStringLiteral("detailPicker"))->currentText(),
              QStringLiteral("Full"));
    EXPECT_EQ(view.findChild<QComboBox*>(QStringLiteral("unitsPicker"))->currentText(),
              QStringLiteral("millimeters"));
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("detailNote"))->text(),
              CompanionSettingsView::detailBlurb(QStringLiteral("full")));
    // Both notes are footnotes.
    for (const char* note : {"detailNote", "unitsNote"}) {
        EXPECT_EQ(view.findChild<QLabel*>(QString::fromLatin1(note))->font().pixelSize(), 10) << note;
    }
    EXPECT_EQ(
        view.findChild<QLabel*>(QStringLiteral("unitsNote"))->text(),
        QStringLiteral("Units for exported meshes. mm is the default: Rhino, Blender and slicers read mm."));
    QStringList sections;
    for (const QGroupBox* box : view.findChildren<QGroupBox*>()) {
        sections << box->title();
    }
    EXPECT_EQ(sections, (QStringList{QStringLiteral("Reconstruction"), QStringLiteral("Units"),
                                     QStringLiteral("About")}));
    EXPECT_TRUE(view.findChild<QLabel*>(QStringLiteral("aboutLine"))
                    ->text()
                    .startsWith(QStringLiteral("tovarine companion ")));
    // Showing the form writes nothing.
    EXPECT_FALSE(defaults.contains(SettingsKeys::kDetail));
    EXPECT_FALSE(defaults.contains(SettingsKeys::kUnits));
}

TEST_F(CompanionSettingsViewTest, PickerChoicesInOrder)
{
    UserDefaults defaults(settingsPath());
    CompanionSettingsView view(defaults);
    const auto* detail = view.findChild<QComboBox*>(QStringLiteral("detailPicker"));
    QStringList labels;
    QStringList values;
    for (int i = 0; i < detail->count(); ++i) {
        labels << detail->itemText(i);
        values << detail->itemData(i).toString();
    }
    EXPECT_EQ(labels, (QStringList{"Full", "Medium", "Raw", "Detail+ (eyelet-level)", "Reduced"}));
    EXPECT_EQ(values, (QStringList{"full", "medium", "raw", "custom", "reduced"}));
    const auto* units = view.findChild<QComboBox*>(QStringLiteral("unitsPicker"));
    EXPECT_EQ(units->itemText(1), QStringLiteral("inches"));
    EXPECT_EQ(units->itemData(1).toString(), QStringLiteral("in"));
}

TEST_F(CompanionSettingsViewTest, DetailNoteTable)
{
    const struct
    {
        const char* stored;
        const char* noteStart;
    } cases[] = {
        {"raw", "Highest built-in detail."},
        {"custom", "Detail+ is Raw with a 10M-triangle cap and an 8K texture"},
        {"medium", "Lower-polygon preview"},
        {"reduced", "The phone's own ceiling."},
        {"full", "Default. ~1M polys with good surface detail"},
        {"RAW", "Default. ~1M polys with good surface detail"},
        {"", "Default. ~1M polys with good surface detail"},
        {"ultra", "Default. ~1M polys with good surface detail"},
    };
    for (const auto& c : cases) {
        const QString note = CompanionSettingsView::detailBlurb(QString::fromLatin1(c.stored));
        EXPECT_TRUE(note.startsWith(QString::fromUtf8(c.noteStart))) << c.stored;
        // The engine bakes the diffuse colour only: no normal, ambient-occlusion or roughness maps.
        for (const char* claim : {"normal +", "roughness maps", "ambient-occlusion +"}) {
            EXPECT_FALSE(note.contains(QLatin1String(claim))) << c.stored << ": " << claim;
        }
    }
}

TEST_F(CompanionSettingsViewTest, UnknownStoredDetailStaysUntilTheUserPicks)
{
    UserDefaults defaults(settingsPath());
    defaults.setValue(SettingsKeys::kDetail, QStringLiteral("RAW"));
    CompanionSettingsView view(defaults);
    auto* detail = view.findChild<QComboBox*>(QStringLiteral("detailPicker"));
    EXPECT_EQ(detail->currentIndex(), -1);
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("detailNote"))->text(),
              CompanionSettingsView::detailBlurb(QStringLiteral("full")));
    EXPECT_EQ(defaults.string(SettingsKeys::kDetail, QString()), QStringLiteral("RAW"));

    // A pick is written at once, persists, and the note follows.
    detail->setCurrentIndex(2);
    emit detail->activated(2);
    EXPECT_EQ(defaults.string(SettingsKeys::kDetail, QString()), QStringLiteral("raw"));
    EXPECT_TRUE(
        view.findChild<QLabel*>(QStringLiteral("detailNote"))->text().startsWith(QStringLiteral("Highest")));
    UserDefaults reopened(settingsPath());
    EXPECT_EQ(reopened.string(SettingsKeys::kDetail, QString()), QStringLiteral("raw"));

    // A change made elsewhere shows at once.
    defaults.setValue(SettingsKeys::kUnits, QStringLiteral("in"));
    EXPECT_EQ(view.findChild<QComboBox*>(QStringLiteral("unitsPicker"))->currentText(),
              QStringLiteral("inches"));
}

} // namespace
} // namespace tovarine
