#include "SearchableHelpView.h"

#include "OstrelFlowLayout.h"
#include "OstrelFonts.h"
#include "OstrelPalette.h"
#include "OstrelSymbolPainter.h"
#include "OstrelSymbols.h"
#include "OstrelWindows.h"
#include "SearchableHelpFilter.h"
#include "SearchableHelpPill.h"
#include "SearchableHelpRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>

namespace ostrel {

namespace {

using OstrelPalette::withOpacity;
using OstrelWindows::fillBackground;
using OstrelWindows::plainLabel;
using OstrelWindows::setTextColor;

QWidget* divider(const HelpTheme& theme, QWidget* parent)
{
    // The two dividers draw the dim accent at a further 30% opacity.
    return OstrelWindows::hairline(withOpacity(theme.accentDim, 0.3), parent);
}

QScrollArea* scrollArea(const QColor& background, QWidget* parent)
{
    auto* scroll = new QScrollArea(parent);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    fillBackground(scroll, background);
    fillBackground(scroll->viewport(), background);
    return scroll;
}

} // namespace

SearchableHelpView::SearchableHelpView(QList<HelpEntry> entries, QStringList sections, HelpTheme theme,
                                       QWidget* parent)
    : QWidget(parent), m_entries(std::move(entries)), m_sections(std::move(sections)),
      m_theme(std::move(theme))
{
    setMinimumSize(600, 450);
    fillBackground(this, m_theme.background);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("helpSplit"));
    split->setChildrenCollapsible(false);
    split->setHandleWidth(1);
    fillBackground(split, withOpacity(m_theme.accentDim, 0.3));
    split->addWidget(buildLeftColumn());
    split->addWidget(buildRightColumn());
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({240, 410});
    layout->addWidget(split);
    OstrelWindows::styleScrollBars(this, m_theme.background, withOpacity(m_theme.accent, 0.3));

    refreshPills();
    rebuildList();
    refreshDetail();
}

QWidget* SearchableHelpView::buildLeftColumn()
{
    auto* left = new QWidget(this);
    left->setObjectName(QStringLiteral("helpLeftColumn"));
    left->setMinimumWidth(200);
    left->setMaximumWidth(280);
    fillBackground(left, m_theme.background);
    auto* column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Search bar.
    auto* bar = new QWidget(left);
    fillBackground(bar, m_theme.surface);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(8, 8, 8, 8);
    barLayout->setSpacing(6);
    auto* glass = new QLabel(bar);
    glass->setPixmap(OstrelSymbolPainter::icon(OstrelSymbols::search, m_theme.textDim, 11).pixmap(11, 11));
    barLayout->addWidget(glass);
    m_searchField = new QLineEdit(bar);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setFrame(false);
    m_searchField->setPlaceholderText(tr("search"));
    m_searchField->setFont(OstrelFonts::monospaced(12));
    QPalette fieldPalette = m_searchField->palette();
    fieldPalette.setColor(QPalette::Base, m_theme.surface);
    fieldPalette.setColor(QPalette::Text, m_theme.text);
    fieldPalette.setColor(QPalette::PlaceholderText, m_theme.textDim);
    m_searchField->setPalette(fieldPalette);
    // The view's style sheet (scroll bars) puts the field under style-sheet drawing, which needs its colours
    // spelled out.
    m_searchField->setStyleSheet(QStringLiteral("QLineEdit { background: %1; color: %2; border: none; }")
                                     .arg(m_theme.surface.name(), m_theme.text.name()));
    connect(m_searchField, &QLineEdit::textChanged, this, &SearchableHelpView::setSearchText);
    barLayout->addWidget(m_searchField, 1);
    column->addWidget(bar);

    column->addWidget(divider(m_theme, left));

    // Section strip: "ALL" then the caller's sections, in as many rows as the column's width needs, so that
    // every pill shows whole (a strip scrolled sideways hid the last ones with no sign of them).
    auto* pills = new QWidget(left);
    pills->setObjectName(QStringLiteral("sectionStrip"));
    fillBackground(pills, m_theme.background);
    auto* pillLayout = new OstrelFlowLayout(pills, 4);
    pillLayout->setContentsMargins(8, 6, 8, 6);
    const auto addPill = [&](const QString& label, const std::optional<QString>& filter) {
        auto* pill = new SearchableHelpPill(label, m_theme, pills);
        pill->setObjectName(QStringLiteral("sectionPill"));
        connect(pill, &QAbstractButton::clicked, this, [this, filter] { selectSection(filter); });
        pillLayout->addWidget(pill);
        m_pills.append(pill);
    };
    addPill(QStringLiteral("ALL"), std::nullopt);
    for (const QString& section : m_sections) {
        addPill(section, section);
    }
    column->addWidget(pills);

    column->addWidget(divider(m_theme, left));

    // Topic list.
    auto* list = scrollArea(m_theme.background, left);
    list->setObjectName(QStringLiteral("topicList"));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* rows = new QWidget;
    fillBackground(rows, m_theme.background);
    m_listLayout = new QVBoxLayout(rows);
    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_listLayout->setSpacing(1);
    m_listLayout->addStretch(1);
    list->setWidget(rows);
    column->addWidget(list, 1);
    return left;
}

QWidget* SearchableHelpView::buildRightColumn()
{
    m_detailStack = new QStackedWidget(this);
    m_detailStack->setObjectName(QStringLiteral("helpDetail"));
    m_detailStack->setMinimumWidth(300);
    fillBackground(m_detailStack, m_theme.background);

    auto* empty =
        plainLabel(tr("select an entry"), OstrelFonts::monospaced(12), m_theme.textDim, m_detailStack);
    empty->setObjectName(QStringLiteral("emptySelection"));
    empty->setAlignment(Qt::AlignCenter);
    m_detailStack->addWidget(empty);

    auto* scroll = scrollArea(m_theme.background, m_detailStack);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* detail = new QWidget;
    fillBackground(detail, m_theme.background);
    auto* column = new QVBoxLayout(detail);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(12);
    m_detailSection =
        plainLabel(QString(), OstrelFonts::monospaced(8, QFont::Medium, false, 2), m_theme.accent, detail);
    m_detailSection->setObjectName(QStringLiteral("detailSection"));
    // A section name wider than the pane wraps rather than running past its edge.
    m_detailSection->setWordWrap(true);
    m_detailTitle =
        plainLabel(QString(), OstrelFonts::monospaced(18, QFont::Medium), m_theme.textBright, detail);
    m_detailTitle->setObjectName(QStringLiteral("detailTitle"));
    m_detailTitle->setWordWrap(true);
    m_detailBody = plainLabel(QString(), OstrelFonts::monospaced(12, QFont::Light), m_theme.text, detail);
    m_detailBody->setObjectName(QStringLiteral("detailBody"));
    m_detailBody->setWordWrap(true);
    m_detailBody->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_detailBody->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_shortcutRow = new QWidget(detail);
    m_shortcutRow->setObjectName(QStringLiteral("shortcutRow"));
    auto* shortcutLayout = new QHBoxLayout(m_shortcutRow);
    shortcutLayout->setContentsMargins(0, 0, 0, 0);
    shortcutLayout->setSpacing(6);
    shortcutLayout->addWidget(
        plainLabel(tr("shortcut"), OstrelFonts::monospaced(9), m_theme.textDim, m_shortcutRow));
    m_shortcutChip =
        plainLabel(QString(), OstrelFonts::monospaced(10, QFont::Medium), m_theme.accent, m_shortcutRow);
    m_shortcutChip->setObjectName(QStringLiteral("shortcutChip"));
    const QColor chip = withOpacity(m_theme.accent, 0.1);
    m_shortcutChip->setStyleSheet(
        QStringLiteral("QLabel { background: rgba(%1,%2,%3,%4); border-radius: 3px; "
                       "padding: 2px 6px; color: %5; }")
            .arg(chip.red())
            .arg(chip.green())
            .arg(chip.blue())
            .arg(chip.alpha())
            .arg(m_theme.accent.name()));
    shortcutLayout->addWidget(m_shortcutChip);
    shortcutLayout->addStretch(1);

    m_locationRow = new QWidget(detail);
    m_locationRow->setObjectName(QStringLiteral("locationRow"));
    auto* locationLayout = new QHBoxLayout(m_locationRow);
    locationLayout->setContentsMargins(0, 0, 0, 0);
    locationLayout->setSpacing(6);
    locationLayout->addWidget(
        plainLabel(tr("location"), OstrelFonts::monospaced(9), m_theme.textDim, m_locationRow));
    m_locationValue =
        plainLabel(QString(), OstrelFonts::monospaced(10), withOpacity(m_theme.text, 0.6), m_locationRow);
    m_locationValue->setObjectName(QStringLiteral("locationValue"));
    locationLayout->addWidget(m_locationValue);
    locationLayout->addStretch(1);

    column->addWidget(m_detailSection);
    column->addWidget(m_detailTitle);
    column->addWidget(m_detailBody);
    column->addWidget(m_shortcutRow);
    column->addWidget(m_locationRow);
    column->addStretch(1);
    scroll->setWidget(detail);
    m_detailStack->addWidget(scroll);
    return m_detailStack;
}

QList<HelpEntry> SearchableHelpView::filteredEntries() const
{
    return SearchableHelpFilter::filteredEntries(m_entries, m_searchText, m_selectedSection);
}

void SearchableHelpView::setSearchText(const QString& text)
{
    if (m_searchText == text) {
        return;
    }
    m_searchText = text;
    if (m_searchField->text() != text) {
        m_searchField->setText(text);
    }
    rebuildList();
}

void SearchableHelpView::selectSection(const std::optional<QString>& section)
{
    if (m_selectedSection == section) {
        return; // a pill does not toggle
    }
    m_selectedSection = section;
    refreshPills();
    rebuildList();
}

void SearchableHelpView::selectEntry(const HelpEntry& entry)
{
    m_selectedEntry = entry;
    for (SearchableHelpRow* row : std::as_const(m_rows)) {
        row->setHighlighted(row->entry().id() == entry.id());
    }
    refreshDetail();
}

void SearchableHelpView::refreshPills()
{
    for (qsizetype i = 0; i < m_pills.size(); ++i) {
        const std::optional<QString> filter =
            i == 0 ? std::nullopt : std::optional<QString>(m_sections.at(i - 1));
        m_pills[i]->setSelected(filter == m_selectedSection);
    }
}

void SearchableHelpView::rebuildList()
{
    for (SearchableHelpRow* row : std::as_const(m_rows)) {
        m_listLayout->removeWidget(row);
        delete row; // rows never call into a rebuild, so none is deleted from its own signal
    }
    m_rows.clear();
    const QList<HelpEntry> shown = filteredEntries();
    int position = 0;
    for (const HelpEntry& entry : shown) {
        auto* row = new SearchableHelpRow(entry, m_theme, m_listLayout->parentWidget());
        row->setObjectName(QStringLiteral("topicRow"));
        row->setHighlighted(m_selectedEntry && m_selectedEntry->id() == entry.id());
        connect(row, &QAbstractButton::clicked, this, [this, row] { selectEntry(row->entry()); });
        m_listLayout->insertWidget(position++, row);
        m_rows.append(row);
    }
}

void SearchableHelpView::refreshDetail()
{
    if (!m_selectedEntry) {
        m_detailStack->setCurrentIndex(0);
        return;
    }
    const HelpEntry& entry = *m_selectedEntry;
    m_detailSection->setText(entry.section());
    m_detailTitle->setText(entry.title());
    OstrelWindows::setLineSpacedText(m_detailBody, entry.body(), 5);
    const bool hasShortcut = entry.shortcut() && !entry.shortcut()->isEmpty();
    m_shortcutChip->setText(hasShortcut ? *entry.shortcut() : QString());
    m_shortcutRow->setVisible(hasShortcut);
    const bool hasLocation = entry.location() && !entry.location()->isEmpty();
    m_locationValue->setText(hasLocation ? *entry.location() : QString());
    m_locationRow->setVisible(hasLocation);
    m_detailStack->setCurrentIndex(1);
}

} // namespace ostrel
