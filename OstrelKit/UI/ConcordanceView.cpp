#include "ConcordanceView.h"

#include "ConcordanceSectionHeader.h"
#include "OstrelFonts.h"
#include "OstrelMotion.h"
#include "OstrelWindows.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QVBoxLayout>

namespace ostrel {

namespace {

using OstrelWindows::fade;
using OstrelWindows::fillBackground;
using OstrelWindows::hairline;
using OstrelWindows::plainLabel;

// The line above the footer's notice row; empty in this kit.
const QString kFooterNote;

} // namespace

QString ConcordanceView::rightsNotice()
{
    return QStringLiteral("\u00A9 ostrel.studio \u00B7 all rights reserved");
}

ConcordanceView::ConcordanceView(ConcordanceConfiguration config, QWidget* parent)
    : QWidget(parent)
    , m_config(std::move(config))
{
    setMinimumSize(480, 400);
    fillBackground(this, m_config.backgroundColor);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Header.
    auto* header = new QWidget(this);
    auto* headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(24, 20, 24, 14);
    headerLayout->setSpacing(6);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(0);
    const QFont titleFont = OstrelFonts::withTracking(m_config.headerFont, 2);
    titleRow->addWidget(plainLabel(QStringLiteral("CONC"), titleFont, m_config.headerColor, header));
    titleRow->addWidget(plainLabel(QStringLiteral("ORDANCE"), titleFont, m_config.accentColor, header));
    titleRow->addStretch(1);
    headerLayout->addLayout(titleRow);
    auto* subtitle = plainLabel(m_config.subtitle, OstrelFonts::serif(10, QFont::Normal, true),
                                m_config.subtitleColor, header);
    subtitle->setObjectName(QStringLiteral("subtitle"));
    headerLayout->addWidget(subtitle);
    auto* count = plainLabel(m_config.countLine(), OstrelFonts::monospaced(9, QFont::Medium),
                             m_config.countColor, header);
    count->setObjectName(QStringLiteral("countLine"));
    headerLayout->addWidget(count);
    column->addWidget(header);

    column->addWidget(hairline(m_config.dividerColor, this));

    // Sections.
    auto* scroll = new QScrollArea(this);
    m_scroll = scroll;
    scroll->setObjectName(QStringLiteral("sectionsScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fillBackground(scroll->viewport(), m_config.backgroundColor);
    auto* body = new QWidget;
    fillBackground(body, m_config.backgroundColor);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 20);
    bodyLayout->setSpacing(0);
    for (qsizetype i = 0; i < m_config.sections.size(); ++i) {
        const ConcordanceSection& section = m_config.sections.at(i);
        SectionWidgets widgets;
        widgets.title = section.title;
        widgets.header = new ConcordanceSectionHeader(m_config, section.title, int(section.entries.size()), body);
        widgets.header->setObjectName(QStringLiteral("sectionHeader"));
        const QString title = section.title;
        connect(widgets.header, &QAbstractButton::clicked, this, [this, title] { toggle(title); });
        bodyLayout->addWidget(widgets.header);

        widgets.entries = new QWidget(body);
        widgets.entries->setObjectName(QStringLiteral("sectionEntries"));
        auto* entriesLayout = new QVBoxLayout(widgets.entries);
        entriesLayout->setContentsMargins(24 + 18, 0, 24, 14);
        entriesLayout->setSpacing(12);
        for (const ConcordanceEntry& entry : section.entries) {
            auto* item = new QVBoxLayout;
            item->setSpacing(3);
            auto* term = plainLabel(entry.term(), m_config.termFont, m_config.termColor, widgets.entries);
            term->setObjectName(QStringLiteral("term"));
            auto* detail =
                plainLabel(entry.detail(), m_config.detailFont, m_config.detailColor, widgets.entries);
            detail->setObjectName(QStringLiteral("detail"));
            OstrelWindows::setLineSpacedText(detail, entry.detail(), 3);
            item->addWidget(term);
            item->addWidget(detail);
            entriesLayout->addLayout(item);
        }
        widgets.entries->setVisible(false);
        bodyLayout->addWidget(widgets.entries);
        if (i + 1 < m_config.sections.size()) {
            auto* rule = hairline(m_config.dividerColor, body);
            rule->setObjectName(QStringLiteral("sectionRule"));
            bodyLayout->addWidget(rule);
        }
        m_sectionWidgets.append(widgets);
    }
    bodyLayout->addStretch(1);
    scroll->setWidget(body);
    column->addWidget(scroll, 1);
    OstrelWindows::styleScrollBars(scroll, m_config.backgroundColor, m_config.dividerColor);

    column->addWidget(hairline(m_config.dividerColor, this));

    // Footer.
    auto* footer = new QWidget(this);
    auto* footerLayout = new QVBoxLayout(footer);
    footerLayout->setContentsMargins(24, 10, 24, 10);
    footerLayout->setSpacing(8);
    auto* note =
        plainLabel(kFooterNote, OstrelFonts::serif(9, QFont::Normal, true), m_config.footerColor, footer);
    note->setWordWrap(true);
    fade(note, 0.4);
    note->setVisible(!kFooterNote.isEmpty());
    footerLayout->addWidget(note);
    auto* footerRow = new QHBoxLayout;
    auto* rights =
        plainLabel(rightsNotice(), OstrelFonts::monospaced(9, QFont::Medium), m_config.footerColor, footer);
    auto* tagline = plainLabel(m_config.footerTagline, OstrelFonts::serif(9, QFont::Normal, true),
                               m_config.footerColor, footer);
    tagline->setObjectName(QStringLiteral("footerTagline"));
    fade(rights, 0.5);
    fade(tagline, 0.5);
    footerRow->addWidget(rights);
    footerRow->addStretch(1);
    footerRow->addWidget(tagline);
    footerLayout->addLayout(footerRow);
    column->addWidget(footer);
}

void ConcordanceView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_appeared) {
        return;
    }
    m_appeared = true;
    if (const auto first = m_config.initiallyExpanded()) {
        m_expanded.insert(*first);
    }
    applyFoldState(false);
}

void ConcordanceView::toggle(const QString& title)
{
    if (m_expanded.contains(title)) {
        m_expanded.remove(title);
    } else {
        m_expanded.insert(title);
    }
    applyFoldState(true);
}

void ConcordanceView::applyFoldState(bool animated)
{
    for (SectionWidgets& widgets : m_sectionWidgets) {
        setSectionOpen(widgets, m_expanded.contains(widgets.title), animated);
    }
}

void ConcordanceView::setSectionOpen(SectionWidgets& widgets, bool open, bool animated)
{
    widgets.header->setExpanded(open);
    if (widgets.open == open) {
        return;
    }
    widgets.open = open;
    QWidget* entries = widgets.entries;
    if (widgets.fold) {
        widgets.fold->stop(); // deletes it; its finished() does not fire
    }
    const auto animation = withOstrelAnimation(
        animated ? std::optional<OstrelAnimation>(OstrelAnimation::easeInOut(kFoldDurationS)) : std::nullopt,
        [](const std::optional<OstrelAnimation>& effective) { return effective; });
    if (!animation) {
        entries->setMaximumHeight(QWIDGETSIZE_MAX);
        entries->setVisible(open);
        return;
    }
    // The entries fold by their maximum height, from what is shown now to their full or zero height.
    const int width = m_scroll->viewport()->width();
    const int fullHeight = entries->hasHeightForWidth() ? entries->heightForWidth(width) : entries->sizeHint().height();
    const int currentHeight = entries->isVisible() ? entries->height() : 0;
    auto* fold = new QPropertyAnimation(entries, "maximumHeight", entries);
    fold->setDuration(animation->durationMs());
    fold->setEasingCurve(animation->easingCurve());
    fold->setStartValue(currentHeight);
    fold->setEndValue(open ? fullHeight : 0);
    if (open) {
        entries->setMaximumHeight(currentHeight);
        entries->setVisible(true);
        connect(fold, &QPropertyAnimation::finished, entries, [entries] { entries->setMaximumHeight(QWIDGETSIZE_MAX); });
    } else {
        connect(fold, &QPropertyAnimation::finished, entries, [entries] {
            entries->setVisible(false);
            entries->setMaximumHeight(QWIDGETSIZE_MAX);
        });
    }
    widgets.fold = fold;
    fold->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace ostrel
