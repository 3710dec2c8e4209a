#include "OstrelTermsView.h"

#include "OstrelFonts.h"
#include "OstrelPalette.h"
#include "OstrelWindows.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace ostrel {

namespace {

using OstrelPalette::srgb;
using OstrelWindows::fade;
using OstrelWindows::plainLabel;

const QColor kHeader = srgb(0.45, 0.43, 0.50);
const QColor kSection = srgb(0.75, 0.73, 0.80);
const QColor kBody = srgb(0.68, 0.66, 0.73);
const QColor kDivider = srgb(0.25, 0.23, 0.30);
const QColor kFooter = srgb(0.45, 0.43, 0.50);

// The Terms window's tagline under the title; empty in this kit.
const QString kTagline;

QWidget* rule(QWidget* parent)
{
    auto* holder = new QWidget(parent);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(16, 0, 16, 0);
    layout->addWidget(OstrelWindows::hairline(kDivider, holder));
    holder->setFixedHeight(1);
    return holder;
}

} // namespace

QColor OstrelTermsView::backgroundColor()
{
    return srgb(0.06, 0.05, 0.09);
}

OstrelTermsView::OstrelTermsView(QString appName, QList<TermsSection> sections, QWidget* parent)
    : QWidget(parent)
    , m_appName(std::move(appName))
    , m_sections(std::move(sections))
{
    setMinimumSize(400, 300);
    OstrelWindows::fillBackground(this, backgroundColor());

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Header: "TE" + "RMS" read as one word, then the tagline.
    auto* header = new QWidget(this);
    auto* headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(24, 20, 24, 14);
    headerLayout->setSpacing(6);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(0);
    const QFont titleFont = OstrelFonts::monospaced(18, QFont::Bold, false, 2);
    auto* te = plainLabel(QStringLiteral("TE"), titleFont, kHeader, header);
    auto* rms = plainLabel(QStringLiteral("RMS"), titleFont, OstrelPalette::ostrelGold(), header);
    te->setObjectName(QStringLiteral("titleHead"));
    rms->setObjectName(QStringLiteral("titleAccent"));
    titleRow->addWidget(te);
    titleRow->addWidget(rms);
    titleRow->addStretch(1);
    headerLayout->addLayout(titleRow);
    auto* tagline = plainLabel(kTagline, OstrelFonts::serif(10, QFont::Normal, true), kHeader, header);
    tagline->setVisible(!kTagline.isEmpty());
    headerLayout->addWidget(tagline);
    column->addWidget(header);

    column->addWidget(rule(this));

    // Sections, identified by position.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("sectionsScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    OstrelWindows::fillBackground(scroll->viewport(), backgroundColor());
    auto* body = new QWidget;
    OstrelWindows::fillBackground(body, backgroundColor());
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(24, 16, 24, 16);
    bodyLayout->setSpacing(20);
    for (const TermsSection& section : m_sections) {
        auto* block = new QVBoxLayout;
        block->setSpacing(8);
        auto* title = plainLabel(section.title.toUpper(),
                                 OstrelFonts::monospaced(10, QFont::DemiBold, false, 1.5), kSection, body);
        title->setObjectName(QStringLiteral("sectionTitle"));
        auto* content = plainLabel(section.content, OstrelFonts::serif(11), kBody, body);
        content->setObjectName(QStringLiteral("sectionContent"));
        OstrelWindows::setLineSpacedText(content, section.content, 3);
        content->setTextInteractionFlags(Qt::TextSelectableByMouse);
        block->addWidget(title);
        block->addWidget(content);
        bodyLayout->addLayout(block);
    }
    bodyLayout->addStretch(1);
    scroll->setWidget(body);
    column->addWidget(scroll, 1);
    OstrelWindows::styleScrollBars(scroll, backgroundColor(), kDivider);

    column->addWidget(rule(this));

    // Footer.
    auto* footer = new QWidget(this);
    auto* footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(24, 10, 24, 10);
    auto* notice =
        plainLabel(OstrelTerms::copyright(), OstrelFonts::monospaced(9, QFont::Medium), kFooter, footer);
    notice->setObjectName(QStringLiteral("footerNotice"));
    auto* web =
        plainLabel(OstrelTerms::makerWebName(), OstrelFonts::serif(9, QFont::Normal, true), kFooter, footer);
    fade(notice, 0.5);
    fade(web, 0.5);
    footerLayout->addWidget(notice);
    footerLayout->addStretch(1);
    footerLayout->addWidget(web);
    column->addWidget(footer);
}

} // namespace ostrel
