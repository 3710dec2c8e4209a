#include "OstrelAboutView.h"

#include "AboutEmblemTile.h"
#include "AboutSubtitleView.h"
#include "GoldDivider.h"
#include "OstrelFonts.h"
#include "OstrelMotionPreference.h"
#include "OstrelPalette.h"
#include "OstrelWidgetMotion.h"
#include "OstrelWindows.h"

#include <QAbstractAnimation>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace ostrel {

namespace {

using OstrelWindows::plainLabel;

constexpr int kWidthPt = 500;
constexpr int kHeightPt = 280;
constexpr int kAccentBarPt = 6;
constexpr int kCreditLabelWidthPt = 130;

// The kit's fixed byline and credit content, the same in every application.
const QString kMakerName = QStringLiteral("Ostrel Studio");
const QString kMakerUrl = QStringLiteral("https://ostrel.studio");
const QString kMakerDomain = QStringLiteral("ostrel.studio");
const QString kAuthorHandle = QStringLiteral("Marenquen");
const QString kAuthorSocialUrl = QStringLiteral("https://social.ostrel.studio/@marenquen");
const QString kAuthorDomain = QStringLiteral("maren.ink");
const QString kAuthorSiteUrl = QStringLiteral("https://maren.ink");
const QString kAssistantUrl = QStringLiteral("https://quenby.ai");
const QString kAssistantCompany = QStringLiteral("Quenby Labs \u00B7 quenby.ai");
const QString kPlatform = QStringLiteral("Qt 6 \u00B7 C++20 \u00B7 OpenGL \u00B7 COLMAP \u00B7 Qt WebEngine");

QString cssColor(const QColor& color)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

QString link(const QString& text, const QString& url, const QColor& color)
{
    return QStringLiteral("<a href=\"%1\" style=\"color:%2; text-decoration:none\">%3</a>")
        .arg(url.toHtmlEscaped(), cssColor(color), text.toHtmlEscaped());
}

QLabel* richLabel(const QString& html, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::RichText);
    l->setText(html);
    l->setFont(font);
    l->setOpenExternalLinks(true);
    l->setTextInteractionFlags(Qt::TextBrowserInteraction);
    OstrelWindows::setTextColor(l, color);
    return l;
}

} // namespace

OstrelAboutView::OstrelAboutView(OstrelAboutModel model, QWidget* parent)
    : QWidget(parent)
    , m_model(std::move(model))
{
    const OstrelAboutPalette& p = m_model.effectivePalette();
    setFixedSize(kWidthPt, kHeightPt);
    OstrelWindows::fillBackground(this, p.background);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(kAccentBarPt, 0, 0, 0); // the accent bar is painted in the margin
    row->setSpacing(0);

    auto* mainColumn = new QVBoxLayout;
    mainColumn->setSpacing(0);
    mainColumn->addStretch(1);
    row->addLayout(mainColumn, 1);

    // Head: tile and text block at the left.
    auto* head = new QHBoxLayout;
    // The tile's box is larger than the tile by its breathing room; the margins take that back, so the
    // tile itself sits where the layout puts it.
    const int breathing = (AboutEmblemTile::boxSidePt() - AboutEmblemTile::kSidePt) / 2;
    head->setContentsMargins(20 - breathing, 16, 20, 0);
    head->setSpacing(24);
    head->setAlignment(Qt::AlignTop);
    m_tile = new AboutEmblemTile(m_model.emblems, p.iconBackgroundTop, p.iconBackgroundBottom, p.iconStroke, this);
    m_tile->setObjectName(QStringLiteral("emblemTile"));
    auto* tileHolder = new QVBoxLayout;
    tileHolder->setContentsMargins(0, std::max(0, 4 - breathing), 0, 0);
    tileHolder->addWidget(m_tile);
    tileHolder->addStretch(1);
    head->addLayout(tileHolder);

    auto* text = new QVBoxLayout;
    text->setContentsMargins(0, 4, 0, 0);
    text->setSpacing(7);
    auto* tagline = new AboutSubtitleView(m_model.tagline, this);
    tagline->setObjectName(QStringLiteral("tagline"));
    auto* taglineHolder = new QVBoxLayout;
    taglineHolder->setContentsMargins(0, 0, 0, 2);
    taglineHolder->addWidget(tagline);
    text->addLayout(taglineHolder);

    auto* nameLine = new QHBoxLayout;
    nameLine->setSpacing(4);
    const QFont nameFont = OstrelFonts::system(28, QFont::ExtraBold);
    auto* appName = plainLabel(m_model.appName, nameFont, p.appNameColor, this);
    appName->setObjectName(QStringLiteral("appName"));
    auto* accent = plainLabel(m_model.appNameAccent, nameFont, p.appNameAccentColor, this);
    accent->setObjectName(QStringLiteral("appNameAccent"));
    nameLine->addWidget(appName, 0, Qt::AlignBaseline);
    nameLine->addWidget(accent, 0, Qt::AlignBaseline);
    nameLine->addStretch(1);
    text->addLayout(nameLine);

    auto* descriptor = plainLabel(m_model.descriptor, OstrelFonts::serif(11, QFont::Normal, true),
                                  p.descriptorColor, this);
    descriptor->setObjectName(QStringLiteral("descriptor"));
    text->addWidget(descriptor);

    auto* tagline2 = new AboutSubtitleView(m_model.tagline2, this);
    tagline2->setObjectName(QStringLiteral("tagline2"));
    text->addWidget(tagline2);

    auto* byline = new QHBoxLayout;
    byline->setSpacing(4);
    const QColor separatorColor = OstrelPalette::withOpacity(p.bylineGreyColor, 0.7);
    byline->addWidget(plainLabel(tr("by"), OstrelFonts::serif(12, QFont::Medium), p.bylineGreyColor, this));
    byline->addWidget(richLabel(link(kMakerName, kMakerUrl, p.appNameAccentColor),
                                OstrelFonts::serif(12, QFont::DemiBold), p.appNameAccentColor, this));
    byline->addWidget(plainLabel(QStringLiteral("\u00B7"), OstrelFonts::serif(12), separatorColor, this));
    byline->addWidget(richLabel(link(kAuthorHandle, kAuthorSocialUrl, p.bylineGreyColor),
                                OstrelFonts::serif(12, QFont::Medium), p.bylineGreyColor, this));
    byline->addWidget(plainLabel(QStringLiteral("\u00B7"), OstrelFonts::serif(12), separatorColor, this));
    byline->addWidget(richLabel(link(QStringLiteral("QuenbyAI"), kAssistantUrl, p.bylineGreyColor),
                                OstrelFonts::serif(12, QFont::Medium), p.bylineGreyColor, this));
    byline->addStretch(1);
    text->addLayout(byline);

    auto* version = plainLabel(m_model.versionString, OstrelFonts::monospaced(9, QFont::Light, false, 2),
                               p.versionColor, this);
    version->setObjectName(QStringLiteral("version"));
    text->addWidget(version);
    head->addLayout(text, 1);
    mainColumn->addLayout(head);

    // Divider with 12 points above and below.
    mainColumn->addSpacing(12);
    mainColumn->addWidget(new GoldDivider(0.22, this));
    mainColumn->addSpacing(12);

    // Credits: labels in a 130-point column so every value starts at the same place.
    auto* credits = new QVBoxLayout;
    credits->setContentsMargins(20, 0, 20, 16);
    credits->setSpacing(5);
    const QFont creditFont = OstrelFonts::monospaced(9);
    const auto creditRow = [&](const QString& label, QWidget* value) {
        auto* line = new QHBoxLayout;
        line->setSpacing(0);
        auto* labelWidget = plainLabel(label, creditFont, p.creditLabelColor, this);
        labelWidget->setObjectName(QStringLiteral("creditLabel"));
        labelWidget->setFixedWidth(kCreditLabelWidthPt);
        line->addWidget(labelWidget);
        line->addWidget(value);
        line->addStretch(1);
        credits->addLayout(line);
    };
    const QString dot = QStringLiteral(" \u00B7 ");
    creditRow(QStringLiteral("concept + direction"),
              richLabel(link(kAuthorHandle, kAuthorSocialUrl, p.creditValueColor) + dot
                            + link(kAuthorDomain, kAuthorSiteUrl, p.creditValueColor) + dot
                            + link(kMakerDomain, kMakerUrl, p.creditValueColor),
                        creditFont, p.creditValueColor, this));
    creditRow(QStringLiteral("code + algorithms"),
              richLabel(dot + link(QStringLiteral("Quenby"), kAssistantUrl, p.creditValueColor) + dot
                            + kAssistantCompany.toHtmlEscaped(),
                        creditFont, p.creditValueColor, this));
    creditRow(QStringLiteral("platform"), plainLabel(kPlatform, creditFont, p.creditValueColor, this));
    mainColumn->addLayout(credits);
    mainColumn->addStretch(1);

    connect(&OstrelMotionPreference::shared(), &OstrelMotionPreference::reduceMotionChanged, this,
            [this](bool) { applyPulse(); });
}

bool OstrelAboutView::tileAnimating() const
{
    return m_tileAnimation && m_tileAnimation->state() == QAbstractAnimation::Running;
}

void OstrelAboutView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_pulse) {
        m_pulse = true;
        applyPulse();
    }
}

void OstrelAboutView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A closed window animates nothing; the pulse starts again when it next appears.
    m_pulse = false;
    if (m_tileAnimation) {
        m_tileAnimation->stop();
        m_tileAnimation->deleteLater();
        m_tileAnimation = nullptr;
    }
    m_tile->setTileScale(1.0);
}

void OstrelAboutView::applyPulse()
{
    if (!m_pulse) {
        return;
    }
    if (OstrelMotionPreference::shared().reduceMotion()) {
        // Reduce motion: the watched value's change applies at once and the tile stands still.
        if (m_tileAnimation) {
            m_tileAnimation->stop();
            m_tileAnimation->deleteLater();
        }
        m_tile->setTileScale(kPulseScale);
        return;
    }
    if (m_tileAnimation || m_tile->tileScale() == kPulseScale) {
        // Motion switched back on: the watched value did not change, so nothing restarts.
        return;
    }
    m_tileAnimation = ostrelAnimation(m_tile, "tileScale", kPulseScale,
                                      OstrelAnimation::easeInOut(kPulseDurationS).repeatForever(true));
}

void OstrelAboutView::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    const QList<QColor>& colors = m_model.effectivePalette().accentBar;
    if (colors.isEmpty()) {
        return;
    }
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    if (colors.size() == 1) {
        gradient.setColorAt(0, colors.first());
        gradient.setColorAt(1, colors.first());
    } else {
        for (qsizetype i = 0; i < colors.size(); ++i) {
            gradient.setColorAt(double(i) / double(colors.size() - 1), colors.at(i));
        }
    }
    painter.fillRect(QRect(0, 0, kAccentBarPt, height()), gradient);
}

} // namespace ostrel
