#pragma once

#include "ConcordanceEntry.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace ostrel {

// One titled glossary section and its terms, in display order.
struct ConcordanceSection
{
    QString title;
    QList<ConcordanceEntry> entries;
};

// The glossary window's whole content and look, filled by the embedding application; every field is stored
// as given (fields in the order of the aggregate). Plain value; any thread.
struct ConcordanceConfiguration
{
    QString appName;
    QString version;
    QFont headerFont;
    QFont sectionFont;
    QFont termFont;
    QFont detailFont;
    QColor backgroundColor;
    QColor headerColor;
    QColor accentColor;
    QColor subtitleColor;
    QColor sectionTitleColor;
    QColor chevronColor;
    QColor termColor;
    QColor detailColor;
    QColor dividerColor;
    QColor countColor;
    QColor footerColor;
    QString subtitle;
    QString footerTagline;
    QList<ConcordanceSection> sections;

    // The title of the first section (the one open when the view first appears); absent with no sections.
    std::optional<QString> initiallyExpanded() const;

    // Total number of terms over all sections.
    int entryCount() const;

    // "<appName> <version>  ·  <n> sections  ·  <m> entries" (the words stay plural for every count).
    QString countLine() const;
};

} // namespace ostrel
