#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tovarine;
using ostrel::UserDefaults;

namespace {

struct UserDefaultsTest : ::testing::Test
{
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("settings.ini")); }
};

} // namespace

TEST_F(UserDefaultsTest, AbsentKeysReadTheReadersDefault)
{
    UserDefaults store(path());
    EXPECT_EQ(store.string(SettingsKeys::kDetail, SettingsKeys::kDetailDefault), QStringLiteral("full"));
    EXPECT_EQ(store.real(SettingsKeys::kPreviewContrast, SettingsKeys::kPreviewContrastDefault), 1.0);
    EXPECT_EQ(store.integer(SettingsKeys::kVoxelDivisions, SettingsKeys::kVoxelDivisionsDefault), 512);
    EXPECT_FALSE(store.contains(SettingsKeys::kDetail));
}

TEST_F(UserDefaultsTest, WritesPersistUnderTheVerbatimKeyAndSignalOncePerChange)
{
    {
        UserDefaults store(path());
        QSignalSpy spy(&store, &UserDefaults::changed);
        store.setValue(SettingsKeys::kUnits, QStringLiteral("in"));
        store.setValue(SettingsKeys::kUnits, QStringLiteral("in"));
        store.setValue(SettingsKeys::kPreviewBrightness, 0.25);
        ASSERT_EQ(spy.count(), 2);
        EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("tovarine.units"));
    }
    UserDefaults reopened(path());
    EXPECT_EQ(reopened.string(SettingsKeys::kUnits, SettingsKeys::kUnitsDefault), QStringLiteral("in"));
    EXPECT_DOUBLE_EQ(reopened.real(SettingsKeys::kPreviewBrightness, 0.0), 0.25);
}

TEST_F(UserDefaultsTest, ValuesOfTheWrongTypeReadAsTheDefault)
{
    UserDefaults store(path());
    store.setValue(SettingsKeys::kPreviewContrast, QStringLiteral("bright"));
    store.setValue(SettingsKeys::kVoxelDivisions, QStringLiteral("many"));
    EXPECT_EQ(store.real(SettingsKeys::kPreviewContrast, 1.0), 1.0);
    EXPECT_EQ(store.integer(SettingsKeys::kVoxelDivisions, 512), 512);
    store.remove(SettingsKeys::kPreviewContrast);
    EXPECT_FALSE(store.contains(SettingsKeys::kPreviewContrast));
}
