#include "PreviewControls.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>

#include "PreviewLook.h"
#include "PreviewSliderRow.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

namespace tovarine {

namespace {

struct Segment
{
    const char* objectName;
    const char* label;
    const char* value;
};

constexpr Segment kSegments[] = {
    {"shadingLit", "Lit", "lit"},
    {"shadingAlbedo", "Albedo", "albedo"},
    {"shadingWireframe", "Wireframe", "wireframe"},
};

const char* const kStyle = R"(
QWidget { color: rgba(255, 255, 255, 178); }
QPushButton[segment="true"] {
    background: rgba(255, 255, 255, 20); border: 1px solid rgba(255, 255, 255, 40);
    padding: 3px 0px; color: rgba(255, 255, 255, 200);
}
QPushButton[segment="true"]:checked { background: rgba(255, 255, 255, 70); color: white; }
QPushButton#shadingLit { border-top-left-radius: 5px; border-bottom-left-radius: 5px; }
QPushButton#shadingWireframe { border-top-right-radius: 5px; border-bottom-right-radius: 5px; }
QToolButton { border: none; background: transparent; color: white; }
)";

} // namespace

PreviewControls::PreviewControls(UserDefaults& defaults, QWidget* parent) : QWidget(parent), m_defaults(defaults)
{
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(11);
    setFont(font);
    setStyleSheet(QString::fromLatin1(kStyle));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);

    auto* picker = new QWidget(this);
    picker->setObjectName(QStringLiteral("shadingPicker"));
    picker->setFixedWidth(240);
    auto* pickerLayout = new QHBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(0);
    m_shading = new QButtonGroup(this);
    for (const Segment& segment : kSegments) {
        auto* button = new QPushButton(tr(segment.label), picker);
        button->setObjectName(QString::fromLatin1(segment.objectName));
        button->setProperty("segment", true);
        button->setProperty("value", QString::fromLatin1(segment.value));
        button->setCheckable(true);
        button->setFocusPolicy(Qt::TabFocus);
        m_shading->addButton(button);
        pickerLayout->addWidget(button);
    }
    layout->addWidget(picker);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::VLine);
    divider->setFixedHeight(18);
    divider->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 60);"));
    layout->addWidget(divider);

    m_brightness = new PreviewSliderRow(QStringLiteral("brightness"), tr("Brightness"), PreviewLook::kBrightnessMin,
                                        PreviewLook::kBrightnessMax, PreviewLook::kBrightnessDefault,
                                        &PreviewLook::brightnessLabel, this);
    layout->addWidget(m_brightness);
    m_contrast = new PreviewSliderRow(QStringLiteral("contrast"), tr("Contrast"), PreviewLook::kContrastMin,
                                      PreviewLook::kContrastMax, PreviewLook::kContrastDefault,
                                      &PreviewLook::contrastLabel, this);
    layout->addWidget(m_contrast);
    layout->addStretch(1);

    connect(m_shading, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* button) {
        m_defaults.setValue(SettingsKeys::kPreviewShading, button->property("value").toString());
    });
    connect(m_brightness, &PreviewSliderRow::valueEdited, this,
            [this](double value) { m_defaults.setValue(SettingsKeys::kPreviewBrightness, value); });
    connect(m_contrast, &PreviewSliderRow::valueEdited, this,
            [this](double value) { m_defaults.setValue(SettingsKeys::kPreviewContrast, value); });
    connect(&m_defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == SettingsKeys::kPreviewShading || key == SettingsKeys::kPreviewBrightness
            || key == SettingsKeys::kPreviewContrast) {
            refresh();
        }
    });
    refresh();
}

void PreviewControls::refresh()
{
    const QString shading = m_defaults.string(SettingsKeys::kPreviewShading, SettingsKeys::kPreviewShadingDefault);
    // A stored value that names no segment leaves none selected (it is drawn lit) until the user picks one.
    m_shading->setExclusive(false);
    for (QAbstractButton* button : m_shading->buttons()) {
        button->setChecked(button->property("value").toString() == shading);
    }
    m_shading->setExclusive(true);
    m_brightness->setValue(
        m_defaults.real(SettingsKeys::kPreviewBrightness, SettingsKeys::kPreviewBrightnessDefault));
    m_contrast->setValue(m_defaults.real(SettingsKeys::kPreviewContrast, SettingsKeys::kPreviewContrastDefault));
}

} // namespace tovarine
