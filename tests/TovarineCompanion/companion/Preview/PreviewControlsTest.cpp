#include "PreviewControls.h"

#include "HangCeiling.h"
#include "PreviewLook.h"
#include "SettingsKeys.h"
#include "USDZPreviewMac.h"
#include "UserDefaults.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

class PreviewControlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_defaults = std::make_unique<UserDefaults>(m_dir.filePath(QStringLiteral("settings.ini")));
        m_controls = std::make_unique<PreviewControls>(*m_defaults);
    }

    template <class T> T* child(const char* name) const
    {
        T* found = m_controls->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    double resetOpacity(const char* name) const
    {
        return static_cast<QGraphicsOpacityEffect*>(child<QToolButton>(name)->graphicsEffect())->opacity();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<PreviewControls> m_controls;
};

TEST_F(PreviewControlsTest, DefaultsShowLitNeutralAndDimmedResets)
{
    EXPECT_TRUE(child<QPushButton>("shadingLit")->isChecked());
    EXPECT_EQ(child<QPushButton>("shadingAlbedo")->text(), QStringLiteral("Albedo"));
    EXPECT_EQ(child<QPushButton>("shadingWireframe")->text(), QStringLiteral("Wireframe"));
    EXPECT_EQ(child<QWidget>("shadingPicker")->width(), 240);
    EXPECT_EQ(child<QLabel>("brightnessTitle")->text(), QStringLiteral("Brightness"));
    EXPECT_EQ(child<QLabel>("brightnessReadout")->text(), QStringLiteral("+0"));
    EXPECT_EQ(child<QLabel>("contrastReadout")->text(), QStringLiteral("1.00×"));
    EXPECT_EQ(child<QToolButton>("brightnessReset")->toolTip(), QStringLiteral("Reset to +0"));
    EXPECT_EQ(child<QToolButton>("contrastReset")->toolTip(), QStringLiteral("Reset to 1.00×"));
    EXPECT_DOUBLE_EQ(resetOpacity("brightnessReset"), PreviewLook::kResetOpacityAtDefault);
    EXPECT_DOUBLE_EQ(resetOpacity("contrastReset"), PreviewLook::kResetOpacityAtDefault);
    // Even dimmed, the reset symbol reads against the black row: its colour, faded by its opacity over black,
    // has a contrast of at least 4.5:1.
    auto* reset = child<QToolButton>("brightnessReset");
    reset->ensurePolished();
    const QColor symbol = reset->palette().color(QPalette::ButtonText);
    const double level = symbol.alphaF() * resetOpacity("brightnessReset") * symbol.valueF();
    const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    EXPECT_GE((linear(level) + 0.05) / 0.05, 4.5) << level;
}

TEST_F(PreviewControlsTest, ControlsWriteTheSettingsAndResetRestoresDefaults)
{
    QTest::mouseClick(child<QPushButton>("shadingWireframe"), Qt::LeftButton);
    EXPECT_EQ(m_defaults->string(SettingsKeys::kPreviewShading, QString()), QStringLiteral("wireframe"));
    EXPECT_FALSE(child<QPushButton>("shadingLit")->isChecked());

    auto* slider = child<QSlider>("brightnessSlider");
    slider->setValue(slider->maximum());
    EXPECT_DOUBLE_EQ(m_defaults->real(SettingsKeys::kPreviewBrightness, 0.0), 0.5);
    EXPECT_EQ(child<QLabel>("brightnessReadout")->text(), QStringLiteral("+50"));
    EXPECT_DOUBLE_EQ(resetOpacity("brightnessReset"), PreviewLook::kResetOpacityChanged);

    auto* contrast = child<QSlider>("contrastSlider");
    contrast->setValue(contrast->minimum());
    EXPECT_DOUBLE_EQ(m_defaults->real(SettingsKeys::kPreviewContrast, 1.0), 0.5);
    EXPECT_EQ(child<QLabel>("contrastReadout")->text(), QStringLiteral("0.50×"));

    QTest::mouseClick(child<QToolButton>("brightnessReset"), Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>("contrastReset"), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(m_defaults->real(SettingsKeys::kPreviewBrightness, 9.0), 0.0);
    EXPECT_DOUBLE_EQ(m_defaults->real(SettingsKeys::kPreviewContrast, 9.0), 1.0);
    EXPECT_DOUBLE_EQ(resetOpacity("brightnessReset"), PreviewLook::kResetOpacityAtDefault);
    EXPECT_EQ(child<QLabel>("contrastReadout")->text(), QStringLiteral("1.00×"));
}

TEST_F(PreviewControlsTest, FollowsStoredValuesIncludingUnknownShading)
{
    m_defaults->setValue(SettingsKeys::kPreviewBrightness, -0.005);
    EXPECT_EQ(child<QLabel>("brightnessReadout")->text(), QStringLiteral("-1"));
    m_defaults->setValue(SettingsKeys::kPreviewShading, QStringLiteral("albedo"));
    EXPECT_TRUE(child<QPushButton>("shadingAlbedo")->isChecked());
    m_defaults->setValue(SettingsKeys::kPreviewShading, QStringLiteral("sketch"));
    for (const char* name : {"shadingLit", "shadingAlbedo", "shadingWireframe"}) {
        EXPECT_FALSE(child<QPushButton>(name)->isChecked()) << name;
    }
    EXPECT_EQ(m_defaults->string(SettingsKeys::kPreviewShading, QString()), QStringLiteral("sketch"));
}

} // namespace
} // namespace tovarine

namespace tovarine {
namespace {

// The offscreen platform cannot show a GL widget: the preview stays a black frame that says why, and a
// model that cannot be read still shows its own message.
TEST(USDZPreviewMacWithoutOpenGl, ShowsWhyInsteadOfAView)
{
    USDZPreviewMac preview(
        [](const QString&) -> Expected<ModelMesh, QString> { return unexpected(QStringLiteral("Bad file")); },
        nullptr);
    EXPECT_EQ(preview.glView(), nullptr);
    EXPECT_GE(preview.minimumHeight(), 340);
    preview.resize(300, 340);
    const auto litShare = [&preview] {
        const QImage image = preview.grab().toImage();
        int lit = 0;
        for (int y = 40; y < image.height() - 40; ++y) {
            for (int x = 40; x < image.width() - 40; ++x) {
                lit += qGray(image.pixel(x, y)) > 40 ? 1 : 0;
            }
        }
        return lit;
    };
    EXPECT_GT(litShare(), 0);
    preview.setModelPath(QStringLiteral("/virtual/model.usdz"));
    QTRY_COMPARE_WITH_TIMEOUT(preview.loader().status(), PreviewModelLoader::Status::failed,
                              tovarine::test::kHangCeilingMs);
    EXPECT_GT(litShare(), 0);
}

} // namespace
} // namespace tovarine
