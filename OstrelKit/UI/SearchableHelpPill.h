#pragma once

#include "HelpTheme.h"

#include <QAbstractButton>

namespace ostrel {

// A section filter pill of the help window: the label at 8 pt on a rounded rectangle (radius 4), filled
// and outlined in the accent colour when selected. Given less width than its hint (a section name wider than
// the column), the label wraps, at word boundaries where it can, and the pill grows in height.
// GUI thread only.
class SearchableHelpPill : public QAbstractButton
{
    Q_OBJECT
public:
    SearchableHelpPill(const QString& text, const HelpTheme& theme, QWidget* parent = nullptr);

    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    // One line, sized for the bold label.
    QSize sizeHint() const override;
    // The width of one letter of the label, one line high: a longer label wraps.
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;

    HelpTheme m_theme;
    bool m_selected = false;
};

} // namespace ostrel
