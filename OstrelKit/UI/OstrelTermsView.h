#pragma once

#include "OstrelTerms.h"

#include <QWidget>

namespace ostrel {

// The Terms window's content: the "TERMS" header and tagline, a rule, the sections in a scroll area (titles
// in upper case), a second rule and the footer with the ownership notice and the maker's web name. Holds
// `appName` without showing it (the window title shows it). GUI thread only.
class OstrelTermsView : public QWidget
{
    Q_OBJECT
public:
    OstrelTermsView(QString appName, QList<TermsSection> sections, QWidget* parent = nullptr);

    const QString& appName() const { return m_appName; }
    const QList<TermsSection>& sections() const { return m_sections; }

    // The view's background colour, also the window's.
    static QColor backgroundColor();

private:
    QString m_appName;
    QList<TermsSection> m_sections;
};

} // namespace ostrel
