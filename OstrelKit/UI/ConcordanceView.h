#pragma once

#include "ConcordanceConfiguration.h"

#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>

class QLabel;
class QPropertyAnimation;
class QScrollArea;

namespace ostrel {

class ConcordanceSectionHeader;

// The glossary view: the "CONCORDANCE" header, subtitle and count line, the sections as folding groups in a
// scroll area, and the footer. Colours and fonts come from the configuration only. The fold state is the
// set of open section titles: empty at construction, the first section's title added when the view first
// appears; a header click toggles its title (the section folds in 0.2 s, at once under reduce motion);
// sections sharing a title open and shut together.
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

    static constexpr double kFoldDurationS = 0.2;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct SectionWidgets
    {
        QString title;
        ConcordanceSectionHeader* header = nullptr;
        QWidget* entries = nullptr;
        bool open = false;
        QPointer<QPropertyAnimation> fold;
    };

    void applyFoldState(bool animated);
    void setSectionOpen(SectionWidgets& widgets, bool open, bool animated);

    ConcordanceConfiguration m_config;
    QSet<QString> m_expanded;
    QList<SectionWidgets> m_sectionWidgets;
    QScrollArea* m_scroll = nullptr;
    bool m_appeared = false;
};

} // namespace ostrel
