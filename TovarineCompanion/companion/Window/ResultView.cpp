#include "ResultView.h"

#include "DimensionsAndRescale.h"
#include "ElidedLabel.h"
#include "LineLimitedLabel.h"
#include "PanelStyle.h"
#include "PreviewControls.h"
#include "PrintPrepControls.h"
#include "SettingsKeys.h"
#include "Symbols.h"
#include "USDZPreviewMac.h"
#include "UserDefaults.h"
#include "WindowStyle.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tovarine {

namespace {

using WindowStyle::Face;

const char* const kButtonStyle = R"(
QPushButton { color: white; background: rgba(255, 255, 255, 28); border: 1px solid rgba(255, 255, 255, 45);
              border-radius: 5px; padding: 3px 10px; }
QPushButton:pressed { background: rgba(255, 255, 255, 60); }
QPushButton#dropAnotherButton { background: rgba(255, 255, 255, 40); border-color: rgba(255, 255, 255, 90); }
)";

QPushButton* makeButton(const QString& text, const QString& objectName, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setFont(WindowStyle::font(Face::system, 13));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

ResultView::ResultView(const QString& resultDir, const QString& meshPath, UserDefaults& defaults,
                       QWidget* parent)
    : QWidget(parent), m_resultDir(resultDir), m_meshPath(meshPath), m_defaults(defaults)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    m_previewRow = new QHBoxLayout();
    m_previewRow->setSpacing(10);
    m_preview = new USDZPreviewMac(this);
    m_preview->setObjectName(QStringLiteral("modelPreview"));
    m_preview->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_previewRow->addWidget(m_preview, 1);
    layout->addLayout(m_previewRow, 1);

    m_controls = new PreviewControls(m_defaults, this);
    m_controls->setObjectName(QStringLiteral("previewControls"));
    layout->addWidget(m_controls);

    const char* const slotNames[] = {"measurePanelSlot", "printPrepPanelSlot", "cagePanelSlot"};
    for (int i = 0; i < 3; ++i) {
        auto* place = new QWidget(this);
        place->setObjectName(QString::fromLatin1(slotNames[i]));
        auto* placeLayout = new QVBoxLayout(place);
        placeLayout->setContentsMargins(0, 0, 0, 0);
        place->hide();
        m_panelSlots[i] = place;
        layout->addWidget(place);
    }
    // The measure and print-prep panels belong to this result alone; the cage panel is placed from outside.
    setPanel(PanelSlot::measureAndRescale, new DimensionsAndRescale(m_meshPath, m_resultDir, m_defaults));
    setPanel(PanelSlot::printPrep, new PrintPrepControls(m_meshPath, m_resultDir, m_defaults));

    auto* resultRow = new QHBoxLayout();
    resultRow->setSpacing(14);
    auto* check = new QLabel(this);
    check->setObjectName(QStringLiteral("resultCheck"));
    check->setPixmap(Symbols::checkmarkCircleFill(16, WindowStyle::kGreen));
    resultRow->addWidget(check);
    // A long folder name is cut rather than pushing the buttons out of a narrow window.
    auto* name = new ElidedLabel(1, this);
    name->setObjectName(QStringLiteral("resultName"));
    name->setText(QFileInfo(QDir::cleanPath(resultDir)).fileName());
    name->setFont(WindowStyle::font(Face::serif, 14, QFont::Medium));
    name->setAlignment(Qt::AlignLeft);
    name->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    resultRow->addWidget(name, 1);
    auto* openObj = makeButton(tr("Open OBJ"), QStringLiteral("openObjButton"), this);
    auto* reveal = makeButton(tr("Reveal in File Manager"), QStringLiteral("revealButton"), this);
    auto* dropAnother = makeButton(tr("Drop another"), QStringLiteral("dropAnotherButton"), this);
    for (QPushButton* button : {openObj, reveal, dropAnother}) {
        button->setStyleSheet(QString::fromLatin1(kButtonStyle));
        resultRow->addWidget(button);
    }
    layout->addLayout(resultRow);
    m_actionNote = new LineLimitedLabel(1, this);
    m_actionNote->setObjectName(QStringLiteral("actionNote"));
    m_actionNote->setFont(WindowStyle::font(Face::monospaced, 10));
    m_actionNote->setStyleSheet(QStringLiteral("color: %1;").arg(WindowStyle::css(Qt::white, 0.65)));
    m_actionNote->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_actionNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // One line, kept while there is no note, so that the result row does not move up under the mouse when
    // one appears; a name in the note gives way to keep the sentence whole.
    m_actionNote->setLinePitch(PanelStyle::monospacedLinePx(10));
    m_actionNote->keepRoomOfAllLines();
    PanelStyle::keepPlaceWhenHidden(m_actionNote);
    m_actionNote->hide();
    layout->addWidget(m_actionNote);

    connect(openObj, &QPushButton::clicked, this, &ResultView::openObjClicked);
    connect(reveal, &QPushButton::clicked, this, &ResultView::revealClicked);
    connect(dropAnother, &QPushButton::clicked, this, &ResultView::dropAnotherClicked);
    connect(&m_defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == SettingsKeys::kPreviewShading || key == SettingsKeys::kPreviewBrightness ||
            key == SettingsKeys::kPreviewContrast) {
            applyLook();
        }
    });

    m_preview->setModelPath(m_meshPath);
    applyLook();
}

void ResultView::applyLook()
{
    m_preview->setLook(
        m_defaults.string(SettingsKeys::kPreviewShading, SettingsKeys::kPreviewShadingDefault),
        m_defaults.real(SettingsKeys::kPreviewBrightness, SettingsKeys::kPreviewBrightnessDefault),
        m_defaults.real(SettingsKeys::kPreviewContrast, SettingsKeys::kPreviewContrastDefault));
}

void ResultView::setPanel(PanelSlot slot, QWidget* panel)
{
    QWidget* place = m_panelSlots[int(slot)];
    QLayout* placeLayout = place->layout();
    while (QLayoutItem* item = placeLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (panel) {
        placeLayout->addWidget(panel);
    }
    place->setVisible(panel != nullptr);
}

void ResultView::setActionNote(const QString& text, const QString& name)
{
    m_actionNote->setFullText(text, name);
    m_actionNote->setVisible(!text.isEmpty());
}

QString ResultView::actionNote() const
{
    return m_actionNote->fullText();
}

QWidget* ResultView::panel(PanelSlot slot) const
{
    QLayoutItem* item = m_panelSlots[int(slot)]->layout()->itemAt(0);
    return item ? item->widget() : nullptr;
}

} // namespace tovarine
