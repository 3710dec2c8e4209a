#pragma once

#include "HelpTheme.h"

#include <QAbstractButton>

namespace ostrel {

// A section filter pill of the help window: the label at 8 pt on a rounded rectangle (radius 4), filled
// and outlined in the accent colour when selected. GUI thread only.
class SearchableHelpPill : public QAbstractButton
{
    Q_OBJECT
public:
    SearchableHelpPill(const QString& text, const HelpTheme& theme, QWidget* parent = nullptr);

    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;

    HelpTheme m_theme;
    bool m_selected = false;
};

} // namespace ostrel
