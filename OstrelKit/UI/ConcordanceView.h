#pragma once

#include "ConcordanceConfiguration.h"

#include <QSet>
#include <QString>
#include <QWidget>

class QLabel;

namespace ostrel {

class ConcordanceSectionHeader;

// The glossary view: the "CONCORDANCE" header, subtitle and count line, the sections as folding groups in a
// scroll area, and the footer. Colours and fonts come from the configuration only. The fold state is the
// set of open section titles: empty at construction, the first section's title added when the view first
// appears; a header click toggles its title; sections sharing a title open and shut together.
// GUI thread only.
class ConcordanceView : public QWidget
{
    Q_OBJECT
public:
    explicit ConcordanceView(ConcordanceConfiguration config, QWidget* parent = nullptr);

    const ConcordanceConfiguration& config() const { return m_config; }
    const QSet<QString>& expandedSections() const { return m_expanded; }
    bool isExpanded(const QString& title) const { return m_expanded.contains(title); }

    // What a click on a section header does.
    void toggle(const QString& title);

    // The view's rights notice (footer, left).
    static QString rightsNotice();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct SectionWidgets
    {
        QString title;
        ConcordanceSectionHeader* header = nullptr;
        QWidget* entries = nullptr;
    };

    void applyFoldState();

    ConcordanceConfiguration m_config;
    QSet<QString> m_expanded;
    QList<SectionWidgets> m_sectionWidgets;
    bool m_appeared = false;
};

} // namespace ostrel
