#include "MorvelDetail.h"

namespace tovarine {

namespace {
const QString kAppName = QStringLiteral("tovarine Companion");
}

namespace MorvelDetails {

QString rawValue(MorvelDetail detail)
{
    switch (detail) {
    case MorvelDetail::preview:
        return QStringLiteral("preview");
    case MorvelDetail::standard:
        return QStringLiteral("standard");
    case MorvelDetail::fine:
        return QStringLiteral("fine");
    }
    return {};
}

std::optional<MorvelDetail> fromRawValue(const QString& raw)
{
    for (MorvelDetail detail : kAllCases) {
        if (rawValue(detail) == raw) {
            return detail;
        }
    }
    return std::nullopt;
}

QString title(MorvelDetail detail)
{
    switch (detail) {
    case MorvelDetail::preview:
        return QStringLiteral("Preview 600");
    case MorvelDetail::standard:
        return QStringLiteral("Standard 3000");
    case MorvelDetail::fine:
        return QStringLiteral("Fine 8000");
    }
    return {};
}

int timeLimitSeconds(MorvelDetail detail)
{
    static constexpr std::array<int, 3> kLimits{300, 900, 1800};
    return kLimits[static_cast<std::size_t>(detail)];
}

QJsonObject options(MorvelDetail detail)
{
    if (detail == MorvelDetail::preview) {
        QJsonObject dict = MorvelPreviewSettings::options();
        dict.insert(QStringLiteral("app"), kAppName);
        dict.insert(QStringLiteral("mode"), QStringLiteral("preview"));
        dict.insert(QStringLiteral("timeBudgetMs"), 30000);
        return dict;
    }
    const bool fine = detail == MorvelDetail::fine;
    return QJsonObject{
        {QStringLiteral("app"), kAppName},
        {QStringLiteral("mode"), fine ? QStringLiteral("fine") : QStringLiteral("standard")},
        {QStringLiteral("targetQuads"), fine ? 8000 : 3000},
        {QStringLiteral("decimateTo"), 0},
        {QStringLiteral("creaseMode"), QStringLiteral("after")},
        {QStringLiteral("preserveSharp"), true},
        {QStringLiteral("refitPasses"), 12},
        {QStringLiteral("measureLevel"), 3},
        {QStringLiteral("maxScanSamples"), 100000},
        {QStringLiteral("limitLevel"), 2},
        {QStringLiteral("timeBudgetMs"), fine ? 600000 : 300000},
    };
}

} // namespace MorvelDetails

namespace MorvelPreviewSettings {

QJsonObject options()
{
    return QJsonObject{
        {QStringLiteral("targetQuads"), 600},
        {QStringLiteral("decimateTo"), 10000},
        {QStringLiteral("creaseMode"), QStringLiteral("after")},
        {QStringLiteral("preserveSharp"), true},
        {QStringLiteral("refitPasses"), 4},
        {QStringLiteral("measureLevel"), 3},
        {QStringLiteral("maxScanSamples"), 20000},
        {QStringLiteral("limitLevel"), 2},
    };
}

} // namespace MorvelPreviewSettings

} // namespace tovarine
