#include "OstrelTerms.h"

namespace ostrel::OstrelTerms {

QString makerWebName()
{
    return QStringLiteral("ostrel.studio");
}

QString license()
{
    return QStringLiteral("This software is provided as is, without warranty of any kind. Use it, push it, break "
                          "it: what you make with it is yours. The tool itself remains the property of its maker.");
}

QString restrictions()
{
    return QStringLiteral("Do not reverse engineer or redistribute this software, claim authorship of it or of any "
                          "of its components, or wrap it in another product presented as your own.");
}

QString trademarks()
{
    return QStringLiteral("ostrel.studio, the application names and their marks belong to their author. A copy "
                          "obtained anywhere other than ostrel.studio was not authorised.");
}

QString fairUse()
{
    return QStringLiteral(
        "This application refers to the published work and public positions of real authors for the purposes of "
        "commentary, criticism and education. Quotations are attributed to their authors, and no author's voice is "
        "simulated or impersonated. This use is a fair use under section 107 of title 17 of the United States "
        "Code. The authors named are not affiliated with this application, and no endorsement by any of them is "
        "implied or should be inferred.");
}

QString privacy()
{
    return QStringLiteral(
        "This application collects, transmits and stores no personal data. When a language model is used, it "
        "runs locally on this computer through the local Ollama server. No text leaves the application unless "
        "you configure a cloud fallback yourself.");
}

QString copyright()
{
    return QStringLiteral("\u00A9 ostrel.studio \u00B7 all rights reserved");
}

QList<TermsSection> sections(bool includeFairUse, bool includePrivacy)
{
    QList<TermsSection> list{
        {QStringLiteral("License"), license()},
        {QStringLiteral("Restrictions"), restrictions()},
        {QStringLiteral("Trademarks"), trademarks()},
    };
    if (includeFairUse) {
        list.append({QStringLiteral("Fair Use"), fairUse()});
    }
    if (includePrivacy) {
        list.append({QStringLiteral("Privacy"), privacy()});
    }
    return list;
}

} // namespace ostrel::OstrelTerms
