#include "CompanionAbout.h"

#include "CompanionHelp.h"

namespace tovarine::CompanionAbout {

ostrel::OstrelAboutModel aboutModel()
{
    return ostrel::OstrelAboutModel{
        QStringLiteral("tovarine"),
        QStringLiteral("Companion"),
        CompanionHelp::versionString(),
        QStringLiteral("Linux reconstruction server for tovarine captures"),
        QStringLiteral("A scanner that treats the scan as the question."),
        QStringLiteral("Drop a capture. Full detail comes back."),
        // rock, teapot, amphora, compass
        {QStringLiteral("\U0001FAA8"), QStringLiteral("\U0001FAD6"), QStringLiteral("\U0001F3FA"),
         QStringLiteral("\U0001F9ED")},
        std::nullopt,
    };
}

} // namespace tovarine::CompanionAbout
