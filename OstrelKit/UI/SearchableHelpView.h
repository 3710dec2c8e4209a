#pragma once

#include "HelpEntry.h"
#include "HelpTheme.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <optional>

class QLabel;
class QLineEdit;
class QStackedWidget;
class QVBoxLayout;

namespace ostrel {

class SearchableHelpPill;
class SearchableHelpRow;

// The help browser: a search field, section pills ("ALL" then the caller's sections, wrapped into rows) and
// the list of topics that pass both filters on the left; the chosen topic in full on the right. Keeps its own
// copies of the topics, section names and colours; starts with an empty search, no section and no
// selection. Filtering follows SearchableHelpFilter. The selection changes only when the user picks a row:
// a topic hidden by the filters stays in the detail pane with no row highlighted. GUI thread only.
class SearchableHelpView : public QWidget
{
    Q_OBJECT
public:
    SearchableHelpView(QList<HelpEntry> entries, QStringList sections, HelpTheme theme,
                       QWidget* parent = nullptr);

    const QString& searchText() const { return m_searchText; }
    const std::optional<QString>& selectedSection() const { return m_selectedSection; }
    const std::optional<HelpEntry>& selectedEntry() const { return m_selectedEntry; }
    // The topics currently listed, in the caller's order.
    QList<HelpEntry> filteredEntries() const;
    const HelpTheme& theme() const { return m_theme; }

    // What typing in the search field, clicking a pill (absent = "ALL") and clicking a row do.
    void setSearchText(const QString& text);
    void selectSection(const std::optional<QString>& section);
    void selectEntry(const HelpEntry& entry);

private:
    QWidget* buildLeftColumn();
    QWidget* buildRightColumn();
    void rebuildList();
    void refreshPills();
    void refreshDetail();

    QList<HelpEntry> m_entries;
    QStringList m_sections;
    HelpTheme m_theme;
    QString m_searchText;
    std::optional<QString> m_selectedSection;
    std::optional<HelpEntry> m_selectedEntry;

    QLineEdit* m_searchField = nullptr;
    QList<SearchableHelpPill*> m_pills; // "ALL" first
    QVBoxLayout* m_listLayout = nullptr;
    QList<SearchableHelpRow*> m_rows;
    QStackedWidget* m_detailStack = nullptr;
    QLabel* m_detailSection = nullptr;
    QLabel* m_detailTitle = nullptr;
    QLabel* m_detailBody = nullptr;
    QWidget* m_shortcutRow = nullptr;
    QLabel* m_shortcutChip = nullptr;
    QWidget* m_locationRow = nullptr;
    QLabel* m_locationValue = nullptr;
};

} // namespace ostrel
