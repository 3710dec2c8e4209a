#include "OstrelPreferencesView.h"

#include "GoldDivider.h"
#include "LickableGloss.h"
#include "OstrelAccessible.h"
#include "OstrelFonts.h"
#include "OstrelNSSlider.h"
#include "OstrelPalette.h"
#include "OstrelPreferences.h"
#include "OstrelSymbolPainter.h"
#include "OstrelWindows.h"
#include "PrefsKey.h"
#include "UserDefaults.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel {

namespace {

using namespace OstrelPalette;
using OstrelFonts::monospaced;
using OstrelWindows::plainLabel;

QColor sliderTint()
{
    return srgb(0.78, 0.65, 0.25);
}

// One intensity swatch: a 32 × 20 surface with the gloss at its own value, outlined in gold while the stored
// intensity lies near it; a click stores its value.
class Swatch : public QWidget
{
public:
    Swatch(double value, UserDefaults& store, QWidget* parent)
        : QWidget(parent), m_value(value), m_store(store)
    {
        setFixedSize(32, 20);
        setCursor(Qt::PointingHandCursor);
        setObjectName(QStringLiteral("swatch%1").arg(int(value * 100)));
        ostrelAccessible(this, QStringLiteral("Intensity %1").arg(OstrelPreferences::lickableLabel(value)));
        lickableGloss(this, value, 4);
    }
    bool outlined() const { return m_outlined; }
    void setOutlined(bool outlined)
    {
        m_outlined = outlined;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath shape;
        shape.addRoundedRect(box, 4, 4);
        painter.fillPath(shape, ostrelSurface());
        if (m_outlined) {
            painter.setPen(QPen(ostrelGold(), 1));
            painter.drawPath(shape);
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (rect().contains(event->position().toPoint())) {
            m_store.setValue(PrefsKey::lickableIntensity, m_value);
        }
    }

private:
    double m_value;
    UserDefaults& m_store;
    bool m_outlined = false;
};

// The section heading's symbol: drawn when the kit has a drawing for it, an empty square otherwise.
QLabel* symbolLabel(const QString& symbol, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QStringLiteral("sectionSymbol"));
    label->setFixedSize(11, 11);
    label->setPixmap(OstrelSymbolPainter::pixmap(symbol, color, 11, 2.0));
    return label;
}

// A switch: a 30 × 16 capsule, faint white when off and `tint` when on, with a round knob at the left end
// when off and at the right end when on.
class PrefsSwitch : public QCheckBox
{
public:
    PrefsSwitch(const QColor& tint, QWidget* parent) : QCheckBox(parent), m_tint(tint)
    {
        setFixedSize(kWidth, kHeight);
        setCursor(Qt::PointingHandCursor);
    }
    QSize sizeHint() const override { return {kWidth, kHeight}; }

    static constexpr int kWidth = 30;
    static constexpr int kHeight = 16;
    static QColor knobColor() { return QColor(0xf0, 0xea, 0xd8); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF track(0, 0, kWidth, kHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(isChecked() ? m_tint : QColor(255, 255, 255, 40));
        painter.drawRoundedRect(track, kHeight / 2.0, kHeight / 2.0);
        constexpr qreal kInset = 2;
        const qreal knob = kHeight - 2 * kInset;
        const qreal left = isChecked() ? kWidth - kInset - knob : kInset;
        painter.setBrush(knobColor());
        painter.drawEllipse(QRectF(left, kInset, knob, knob));
        if (hasFocus()) {
            painter.setPen(QPen(withOpacity(ostrelGoldLight(), 0.8), 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), kHeight / 2.0, kHeight / 2.0);
        }
    }
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    QColor m_tint;
};

} // namespace

OstrelPreferencesView::OstrelPreferencesView(const QString& appName, QWidget* appSpecificContent,
                                             OstrelPrefsLayout layout, QWidget* parent)
    : OstrelPreferencesView(appName, appSpecificContent, layout, UserDefaults::standard(), parent)
{
}

OstrelPreferencesView::OstrelPreferencesView(const QString& appName, QWidget* appSpecificContent,
                                             OstrelPrefsLayout layout, UserDefaults& store, QWidget* parent)
    : QWidget(parent), m_store(store)
{
    setObjectName(QStringLiteral("OstrelPreferencesView"));
    setAutoFillBackground(true);
    OstrelWindows::fillBackground(this, srgb(0.055, 0.04, 0.09));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(header(appName));

    auto* body = new QWidget(this);
    body->setObjectName(QStringLiteral("prefsBody"));
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(20, 16, 20, 16);
    column->setSpacing(20);
    const bool minimal = layout == OstrelPrefsLayout::minimal;
    if (!minimal) {
        column->addWidget(zaraviduSection());
        column->addWidget(new GoldDivider(0.22, body));
    }
    column->addWidget(interfaceSection(minimal));
    column->addWidget(new GoldDivider(0.22, body));
    if (appSpecificContent) {
        column->addWidget(appSpecificContent);
    }
    column->addWidget(new GoldDivider(0.22, body));
    column->addWidget(resetSection());
    outer->addWidget(body);
    outer->addStretch(1);

    connect(&m_store, &UserDefaults::changed, this, [this] { refresh(); });
    refresh();
}

QWidget* OstrelPreferencesView::header(const QString& appName)
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("prefsHeader"));
    bar->setAutoFillBackground(true);
    OstrelWindows::fillBackground(bar, srgb(0.08, 0.06, 0.13));
    auto* column = new QVBoxLayout(bar);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(20, 14, 20, 14);
    auto* title = plainLabel(appName + QStringLiteral(" PREFERENCES"),
                             monospaced(11, QFont::DemiBold, false, 2), ostrelGold(), bar);
    title->setObjectName(QStringLiteral("prefsTitle"));
    row->addWidget(title);
    row->addStretch(1);
    column->addLayout(row);
    column->addWidget(OstrelWindows::hairline(withOpacity(ostrelGoldDark(), 0.4), bar));
    return bar;
}

QWidget* OstrelPreferencesView::section(const QString& title, const QString& symbol, QWidget* content)
{
    auto* box = new QWidget(this);
    box->setObjectName(QStringLiteral("section") + title);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(6);
    const QColor ink = withOpacity(ostrelGold(), 0.7);
    heading->addWidget(symbolLabel(symbol, ink, box));
    heading->addWidget(plainLabel(title.toUpper(), monospaced(9, QFont::DemiBold, false, 2), ink, box));
    heading->addStretch(1);
    column->addLayout(heading);
    column->addWidget(content);
    return box;
}

QWidget* OstrelPreferencesView::zaraviduSection()
{
    auto* content = new QWidget(this);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(plainLabel(QStringLiteral("Surface shininess for interface panels."), monospaced(9),
                                 withOpacity(ostrelGold(), 0.5), content));

    auto* track = new QVBoxLayout;
    track->setSpacing(6);
    auto* ends = new QHBoxLayout;
    ends->addWidget(
        plainLabel(QStringLiteral("NotLickable"), monospaced(8), withOpacity(ostrelGold(), 0.4), content));
    ends->addStretch(1);
    ends->addWidget(plainLabel(QStringLiteral("LustLickable"), monospaced(8),
                               withOpacity(ostrelGoldLight(), 0.9), content));
    track->addLayout(ends);
    // The slider over a gradient bar, 22 high.
    auto* bed = new QWidget(content);
    bed->setFixedHeight(22);
    auto* bar = new QLabel(bed);
    bar->setAttribute(Qt::WA_TransparentForMouseEvents);
    bar->setStyleSheet(
        QStringLiteral("background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 %1, stop:1 %2);"
                       " border-radius: 3px;")
            .arg(withOpacity(ostrelGoldDark(), 0.3).name(QColor::HexArgb), ostrelGoldLight().name()));
    auto* slider =
        new OstrelNSSlider(m_store, PrefsKey::lickableIntensity, OstrelPreferences::kLickableIntensityDefault,
                           0.0, 1.0, sliderTint(), bed);
    slider->setObjectName(QStringLiteral("lickableSlider"));
    slider->setProperty("ostrelKey", PrefsKey::lickableIntensity);
    m_sliders << slider;
    connect(slider, &OstrelNSSlider::shownValueChanged, this, [this] { refresh(); });
    ostrelAccessible(slider, QStringLiteral("Surface shininess"));
    slider->setSpokenText([](double intensity) {
        return QString::asprintf("%.2f", intensity) + QStringLiteral(", ") +
               OstrelPreferences::lickableLabel(intensity);
    });
    auto* bedLayout = new QGridLayout(bed);
    bedLayout->setContentsMargins(0, 0, 0, 0);
    bedLayout->addWidget(bar, 0, 0, Qt::AlignVCenter);
    bar->setFixedHeight(6);
    bedLayout->addWidget(slider, 0, 0, Qt::AlignVCenter);
    track->addWidget(bed);
    column->addLayout(track);

    auto* swatchRow = new QHBoxLayout;
    swatchRow->setSpacing(8);
    for (double value : OstrelPreferences::kSwatchValues) {
        auto* swatch = new Swatch(value, m_store, content);
        m_swatches << swatch;
        swatchRow->addWidget(swatch);
    }
    m_lickableLabel = plainLabel(QString(), monospaced(8, QFont::DemiBold), ostrelGold(), content);
    m_lickableLabel->setObjectName(QStringLiteral("lickableLabel"));
    m_lickableLabel->setContentsMargins(4, 0, 0, 0);
    swatchRow->addWidget(m_lickableLabel);
    swatchRow->addStretch(1);
    column->addLayout(swatchRow);

    auto* drip =
        switchRow(QStringLiteral("VorraLick"), QStringLiteral("Activates animated honey drip over viewport."),
                  PrefsKey::vorraLick, ostrelGoldDeep(), QStringLiteral("vorraLickSwitch"));
    drip->setToolTip(QStringLiteral("Honey drip overlay. Purely aesthetic."));
    column->addWidget(drip);
    return section(QStringLiteral("ZaraviduDA"), QStringLiteral("sparkles"), content);
}

QWidget* OstrelPreferencesView::interfaceSection(bool minimal)
{
    auto* content = new QWidget(this);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    if (!minimal) {
        column->addWidget(sliderRow(QStringLiteral("UI Scale"), PrefsKey::uiScale,
                                    OstrelPreferences::kUiScaleDefault, 0.7, 1.4,
                                    QStringLiteral("Scale the entire sidebar panel."), false));
        column->addWidget(sliderRow(QStringLiteral("Label Scale"), PrefsKey::labelScale,
                                    OstrelPreferences::kLabelScaleDefault, 0.7, 1.4,
                                    QStringLiteral("Scale text labels independently."), false));
        column->addWidget(sliderRow(QStringLiteral("Sidebar Width"), PrefsKey::sidebarWidth,
                                    OstrelPreferences::kSidebarWidthDefault, 260, 480,
                                    QStringLiteral("Width of the left sidebar in points."), true));
    }
    column->addWidget(switchRow(QStringLiteral("Reduce Motion"),
                                QStringLiteral("Disables panel animations and transitions."),
                                PrefsKey::reducedMotion, ostrelGold(), QStringLiteral("reduceMotionSwitch")));
    return minimal ? section(QStringLiteral("Accessibility"), QStringLiteral("figure.walk.motion"), content)
                   : section(QStringLiteral("Interface"), QStringLiteral("slider.horizontal.3"), content);
}

QWidget* OstrelPreferencesView::sliderRow(const QString& label, const QString& key, double defaultValue,
                                          double lower, double upper, const QString& tooltip, bool widthText)
{
    auto* row = new QWidget(this);
    row->setToolTip(tooltip);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto* name = plainLabel(label, monospaced(11), ostrelGoldLight(), row);
    name->setFixedWidth(90);
    layout->addWidget(name);
    auto* slider = new OstrelNSSlider(m_store, key, defaultValue, lower, upper, sliderTint(), row);
    slider->setObjectName(key + QStringLiteral("Slider"));
    slider->setProperty("ostrelKey", key);
    m_sliders << slider;
    connect(slider, &OstrelNSSlider::shownValueChanged, this, [this] { refresh(); });
    ostrelAccessible(slider, label, tooltip);
    // Spoken as shown beside it.
    slider->setSpokenText(widthText ? OstrelPreferences::sidebarWidthText : OstrelPreferences::scaleText);
    layout->addWidget(slider, 1);
    auto* value = plainLabel(QString(), monospaced(10), ostrelPurpleLight(), row);
    value->setObjectName(key + QStringLiteral("Value"));
    value->setFixedWidth(44);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setProperty("ostrelKey", key);
    value->setProperty("ostrelDefault", defaultValue);
    value->setProperty("ostrelWidthText", widthText);
    layout->addWidget(value);
    m_valueTexts << value;
    return row;
}

QWidget* OstrelPreferencesView::switchRow(const QString& title, const QString& caption, const QString& key,
                                          const QColor& tint, const QString& objectName)
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    const bool bold = key == PrefsKey::vorraLick;
    texts->addWidget(
        plainLabel(title, monospaced(11, bold ? QFont::DemiBold : QFont::Normal), ostrelGoldLight(), row));
    texts->addWidget(plainLabel(caption, monospaced(8), withOpacity(ostrelGold(), 0.4), row));
    layout->addLayout(texts);
    layout->addStretch(1);
    auto* toggle = new PrefsSwitch(tint, row); // no label of its own: the row's texts name it
    toggle->setObjectName(objectName);
    toggle->setProperty("ostrelKey", key);
    ostrelAccessibleToggle(toggle, title, m_store.boolean(key, false));
    connect(toggle, &QCheckBox::toggled, this, [this, key](bool on) { m_store.setValue(key, on); });
    m_switches << toggle;
    layout->addWidget(toggle);
    return row;
}

QWidget* OstrelPreferencesView::resetSection()
{
    auto* content = new QWidget(this);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(plainLabel(QStringLiteral("Reset all preferences to factory defaults."), monospaced(9),
                                 withOpacity(ostrelGold(), 0.5), content),
                      0, Qt::AlignHCenter);
    auto* button = new QPushButton(QStringLiteral("Reset to Defaults"), content);
    button->setObjectName(QStringLiteral("resetButton"));
    button->setFont(monospaced(11, QFont::DemiBold));
    button->setIcon(OstrelSymbolPainter::icon(u"arrow.counterclockwise", withOpacity(ostrelRed(), 0.8), 11));
    button->setToolTip(QStringLiteral("Restore all preferences to their default values."));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3;"
                                         " border-radius: 5px; padding: 7px 0; }")
                              .arg(withOpacity(ostrelRed(), 0.8).name(QColor::HexArgb),
                                   withOpacity(ostrelRed(), 0.08).name(QColor::HexArgb),
                                   withOpacity(ostrelRed(), 0.3).name(QColor::HexArgb)));
    connect(button, &QPushButton::clicked, this, [this] { OstrelPreferences::resetAll(m_store); });
    column->addWidget(button);
    return section(QStringLiteral("Reset"), QStringLiteral("arrow.counterclockwise"), content);
}

double OstrelPreferencesView::shownValue(const QString& key, double defaultValue) const
{
    for (const OstrelNSSlider* slider : m_sliders) {
        if (slider->isSliderDown() && slider->property("ostrelKey").toString() == key) {
            return slider->shownValue();
        }
    }
    return m_store.real(key, defaultValue);
}

void OstrelPreferencesView::refresh()
{
    const double intensity =
        shownValue(PrefsKey::lickableIntensity, OstrelPreferences::kLickableIntensityDefault);
    if (m_lickableLabel) {
        m_lickableLabel->setText(OstrelPreferences::lickableLabel(intensity));
    }
    for (int i = 0; i < m_swatches.size(); ++i) {
        static_cast<Swatch*>(m_swatches[i])
            ->setOutlined(OstrelPreferences::swatchOutlined(OstrelPreferences::kSwatchValues[std::size_t(i)],
                                                            intensity));
    }
    for (QLabel* text : std::as_const(m_valueTexts)) {
        const double value =
            shownValue(text->property("ostrelKey").toString(), text->property("ostrelDefault").toDouble());
        text->setText(text->property("ostrelWidthText").toBool() ? OstrelPreferences::sidebarWidthText(value)
                                                                 : OstrelPreferences::scaleText(value));
    }
    for (QCheckBox* toggle : std::as_const(m_switches)) {
        const bool on = m_store.boolean(toggle->property("ostrelKey").toString(), false);
        if (toggle->isChecked() != on) {
            const QSignalBlocker block(toggle);
            toggle->setChecked(on);
        }
        ostrelAccessibleToggle(toggle, toggle->accessibleName(), on);
    }
}

} // namespace ostrel
