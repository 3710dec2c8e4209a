#include "CompanionSettingsView.h"

#include "AppIdentity.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"
#include "WindowStyle.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace tovarine {

namespace {

struct Choice
{
    const char* label;
    const char* value;
};

constexpr Choice kDetailChoices[] = {
    {"Full", "full"},       {"Medium", "medium"}, {"Raw", "raw"}, {"Detail+ (eyelet-level)", "custom"},
    {"Reduced", "reduced"},
};

constexpr Choice kUnitChoices[] = {{"millimeters", "mm"}, {"inches", "in"}};

QLabel* makeNote(const QString& text, QWidget* parent)
{
    auto* note = new QLabel(text, parent);
    note->setWordWrap(true);
    // The footnote text size.
    note->setFont(WindowStyle::font(WindowStyle::Face::system, 10));
    note->setForegroundRole(QPalette::PlaceholderText);
    QPalette palette = note->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    note->setPalette(palette);
    return note;
}

QComboBox* makePicker(const Choice* choices, int count, QWidget* parent)
{
    auto* picker = new QComboBox(parent);
    for (int i = 0; i < count; ++i) {
        picker->addItem(QObject::tr(choices[i].label), QString::fromLatin1(choices[i].value));
    }
    return picker;
}

QGroupBox* makeSection(const QString& title, QWidget* parent)
{
    auto* section = new QGroupBox(title, parent);
    section->setFlat(false);
    return section;
}

} // namespace

CompanionSettingsView::CompanionSettingsView(UserDefaults& defaults, QWidget* parent)
    : QWidget(parent), m_defaults(defaults)
{
    setFixedWidth(kWidthPx);
    auto* layout = new QVBoxLayout(this);

    auto* reconstruction = makeSection(tr("Reconstruction"), this);
    reconstruction->setObjectName(QStringLiteral("reconstructionSection"));
    auto* reconstructionLayout = new QFormLayout(reconstruction);
    m_detail = makePicker(kDetailChoices, int(std::size(kDetailChoices)), reconstruction);
    m_detail->setObjectName(QStringLiteral("detailPicker"));
    reconstructionLayout->addRow(tr("Detail"), m_detail);
    m_detailNote = makeNote(QString(), reconstruction);
    m_detailNote->setObjectName(QStringLiteral("detailNote"));
    reconstructionLayout->addRow(m_detailNote);
    layout->addWidget(reconstruction);

    auto* units = makeSection(tr("Units"), this);
    units->setObjectName(QStringLiteral("unitsSection"));
    auto* unitsLayout = new QFormLayout(units);
    m_units = makePicker(kUnitChoices, int(std::size(kUnitChoices)), units);
    m_units->setObjectName(QStringLiteral("unitsPicker"));
    unitsLayout->addRow(tr("Dimensions in"), m_units);
    auto* unitsNote = makeNote(
        tr("Units for exported meshes. mm is the default: Rhino, Blender and slicers read mm."), units);
    unitsNote->setObjectName(QStringLiteral("unitsNote"));
    unitsLayout->addRow(unitsNote);
    layout->addWidget(units);

    auto* about = makeSection(tr("About"), this);
    about->setObjectName(QStringLiteral("aboutSection"));
    auto* aboutLayout = new QVBoxLayout(about);
    auto* aboutLine =
        new QLabel(QStringLiteral("%1 %2 · %3")
                       .arg(AppIdentity::kWindowTitle, AppIdentity::kVersion, AppIdentity::kWebDomain),
                   about);
    aboutLine->setObjectName(QStringLiteral("aboutLine"));
    aboutLayout->addWidget(aboutLine);
    layout->addWidget(about);

    // activated: only the user's picks are written, never the form's own updates.
    connect(m_detail, &QComboBox::activated, this,
            [this](int index) { m_defaults.setValue(SettingsKeys::kDetail, m_detail->itemData(index)); });
    connect(m_units, &QComboBox::activated, this,
            [this](int index) { m_defaults.setValue(SettingsKeys::kUnits, m_units->itemData(index)); });
    connect(&m_defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == SettingsKeys::kDetail || key == SettingsKeys::kUnits) {
            refresh();
        }
    });
    refresh();
}

QString CompanionSettingsView::detailBlurb(const QString& detail)
{
    if (detail == QLatin1String("raw")) {
        return tr(
            "Highest built-in detail. Slow (tens of minutes for a 60-frame capture) and can surface noise "
            "as micro-texture. Only worth it on subjects with real micro-detail.");
    }
    if (detail == QLatin1String("custom")) {
        return tr(
            "Detail+ is Raw with a 10M-triangle cap and an 8K texture: frames read at full size, no "
            "decimation below the cap. As slow as Raw; reach for it when micro-features (eyelets, stitch "
            "rows) need to read. The texture is the diffuse colour only.");
    }
    if (detail == QLatin1String("medium")) {
        return tr("Lower-polygon preview (about 45,000 triangles on a 36-frame capture). Faster than full; "
                  "useful when iterating on capture coverage.");
    }
    if (detail == QLatin1String("reduced")) {
        return tr("The phone's own ceiling. Seldom useful here — drop a capture on Companion for more.");
    }
    // Measured on this engine with 36 frames at 4032 x 3024: medium gave 44,272 triangles (an object 168 mm
    // tall); full, whose surface comes from dense depth maps, 990,246 triangles and a 4096 px texture in 630
    // s with 4 threads (a generated object 115 mm tall with fine relief).
    return tr(
        "Default. ~1M polys with good surface detail and a 4K texture, from dense depth maps. A 36-frame "
        "capture takes roughly 10 minutes on 4 cores.");
}

void CompanionSettingsView::refresh()
{
    const QString detail = m_defaults.string(SettingsKeys::kDetail, SettingsKeys::kDetailDefault);
    m_detail->setCurrentIndex(m_detail->findData(detail));
    m_detailNote->setText(detailBlurb(detail));
    m_units->setCurrentIndex(
        m_units->findData(m_defaults.string(SettingsKeys::kUnits, SettingsKeys::kUnitsDefault)));
}

} // namespace tovarine
