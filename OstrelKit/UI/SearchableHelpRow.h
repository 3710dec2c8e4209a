#pragma once

#include "HelpEntry.h"
#include "HelpTheme.h"

#include <QAbstractButton>

namespace ostrel {

// One topic row of the help list: the title (accent when selected) over the section line, both wrapped to
// the row's width, on a faint accent highlight when selected. GUI thread only.
class SearchableHelpRow : public QAbstractButton
{
    Q_OBJECT
public:
    SearchableHelpRow(HelpEntry entry, const HelpTheme& theme, QWidget* parent = nullptr);

    const HelpEntry& entry() const { return m_entry; }
    void setHighlighted(bool highlighted);
    bool isHighlighted() const { return m_highlighted; }

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    // Titles and section names wrap at word boundaries: the height grows with the lines they need.
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    HelpEntry m_entry;
    HelpTheme m_theme;
    bool m_highlighted = false;
};

} // namespace ostrel
