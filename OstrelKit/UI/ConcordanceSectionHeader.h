#pragma once

#include "ConcordanceConfiguration.h"

#include <QAbstractButton>

namespace ostrel {

// The clickable header row of one glossary section: fold chevron, title and entry count. The tooltip reads
// "Click to collapse <title>" when open and "Click to expand <title>" when shut. GUI thread only.
class ConcordanceSectionHeader : public QAbstractButton
{
    Q_OBJECT
public:
    ConcordanceSectionHeader(const ConcordanceConfiguration& config, QString title, int count,
                             QWidget* parent = nullptr);

    const QString& title() const { return m_title; }
    void setExpanded(bool expanded);
    bool isExpanded() const { return m_expanded; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    int m_count;
    QFont m_sectionFont;
    QColor m_titleColor;
    QColor m_chevronColor;
    QColor m_countColor;
    bool m_expanded = false;
};

} // namespace ostrel
