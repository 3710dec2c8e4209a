#pragma once

#include <QList>
#include <QString>

namespace ostrel {

// One titled paragraph of the Terms window. Sections are identified by position, so equal titles are allowed.
struct TermsSection
{
    QString title;
    QString content;

    bool operator==(const TermsSection&) const = default;
};

// The kit's legal texts and the section list the Terms window shows. Constant texts; any thread.
namespace OstrelTerms {

QString license();
QString restrictions();
QString trademarks();
QString fairUse();
QString privacy();
// The ownership notice of the Terms window's footer.
QString copyright();

// The maker's web name, shown in the footer and named inside copyright() and trademarks().
QString makerWebName();

// ("License", license), ("Restrictions", restrictions), ("Trademarks", trademarks), then ("Fair Use",
// fairUse) when `includeFairUse`, then ("Privacy", privacy) when `includePrivacy`.
QList<TermsSection> sections(bool includeFairUse, bool includePrivacy);

} // namespace OstrelTerms
} // namespace ostrel
