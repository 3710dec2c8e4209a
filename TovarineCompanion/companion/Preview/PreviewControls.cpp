#include "PreviewControls.h"

#include "PreviewLook.h"
#include "PreviewSliderRow.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

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
QToolButton { border: none; background: transparent; color: white; font-size: 14px; }
)";

} // namespace

PreviewControls::PreviewControls(UserDefaults& defaults, QWidget* parent)
    : QWidget(parent), m_defaults(defaults)
{
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(11);
    setFont(font);
    setStyleSheet(QString::fromLatin1(kStyle));

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
    m_picker = picker;

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::VLine);
    divider->setFixedHeight(18);
    divider->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 60);"));
    m_divider = divider;

    m_brightness = new PreviewSliderRow(QStringLiteral("brightness"), tr("Brightness"),
                                        PreviewLook::kBrightnessMin, PreviewLook::kBrightnessMax,
                                        PreviewLook::kBrightnessDefault, &PreviewLook::brightnessLabel, this);
    m_contrast = new PreviewSliderRow(QStringLiteral("contrast"), tr("Contrast"), PreviewLook::kContrastMin,
                                      PreviewLook::kContrastMax, PreviewLook::kContrastDefault,
                                      &PreviewLook::contrastLabel, this);
    auto* lines = new QVBoxLayout(this);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(8);
    m_lineBreaks = {-1};
    arrange(QWIDGETSIZE_MAX);

    connect(m_shading, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* button) {
        m_defaults.setValue(SettingsKeys::kPreviewShading, button->property("value").toString());
    });
    connect(m_brightness, &PreviewSliderRow::valueEdited, this,
            [this](double value) { m_defaults.setValue(SettingsKeys::kPreviewBrightness, value); });
    connect(m_contrast, &PreviewSliderRow::valueEdited, this,
            [this](double value) { m_defaults.setValue(SettingsKeys::kPreviewContrast, value); });
    connect(&m_defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == SettingsKeys::kPreviewShading || key == SettingsKeys::kPreviewBrightness ||
            key == SettingsKeys::kPreviewContrast) {
            refresh();
        }
    });
    refresh();
}

void PreviewControls::refresh()
{
    const QString shading =
        m_defaults.string(SettingsKeys::kPreviewShading, SettingsKeys::kPreviewShadingDefault);
    // A stored value that names no segment leaves none selected (it is drawn lit) until the user picks one.
    m_shading->setExclusive(false);
    for (QAbstractButton* button : m_shading->buttons()) {
        button->setChecked(button->property("value").toString() == shading);
    }
    m_shading->setExclusive(true);
    m_brightness->setValue(
        m_defaults.real(SettingsKeys::kPreviewBrightness, SettingsKeys::kPreviewBrightnessDefault));
    m_contrast->setValue(
        m_defaults.real(SettingsKeys::kPreviewContrast, SettingsKeys::kPreviewContrastDefault));
}

} // namespace tovarine

namespace tovarine {

void PreviewControls::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange(width());
}

void PreviewControls::arrange(int width)
{
    constexpr int kSpacingPx = 14;
    // A fixed width (the picker's) counts over the content's own wish.
    const auto widthOf = [](const QWidget* item) {
        return std::max(item->sizeHint().width(), item->minimumWidth());
    };
    // Items in order; the divider travels with the picker and only shows when a slider row follows it.
    const QList<QWidget*> items{m_picker, m_brightness, m_contrast};
    // The narrowest arrangement (one item per line) decides the minimum width, so an enclosing layout lets
    // this row wrap instead of forcing it onto one line.
    int widest = 0;
    for (const QWidget* item : items) {
        widest = std::max(widest, widthOf(item));
    }
    if (minimumWidth() != widest) {
        setMinimumWidth(widest);
    }
    QList<int> breaks;
    int used = 0;
    for (int i = 0; i < items.size(); ++i) {
        int needed = widthOf(items[i]);
        if (i == 1) {
            needed += m_divider->sizeHint().width() + kSpacingPx;
        }
        if (i > 0 && used + kSpacingPx + needed > width) {
            breaks << i;
            used = widthOf(items[i]);
        } else {
            used += (i > 0 ? kSpacingPx : 0) + needed;
        }
    }
    if (breaks == m_lineBreaks) {
        return;
    }
    m_lineBreaks = breaks;

    auto* lines = static_cast<QVBoxLayout*>(layout());
    while (QLayoutItem* line = lines->takeAt(0)) {
        delete line; // the widgets stay; only the line layouts go
    }
    QHBoxLayout* line = nullptr;
    for (int i = 0; i < items.size(); ++i) {
        if (!line || breaks.contains(i)) {
            line = new QHBoxLayout();
            line->setSpacing(kSpacingPx);
            lines->addLayout(line);
        }
        if (i == 1) {
            const bool dividerShown = !breaks.contains(1);
            m_divider->setVisible(dividerShown);
            if (dividerShown) {
                line->addWidget(m_divider);
            }
        }
        line->addWidget(items[i]);
    }
    for (int i = 0; i < lines->count(); ++i) {
        static_cast<QHBoxLayout*>(lines->itemAt(i)->layout())->addStretch(1);
    }
}

} // namespace tovarine
