#include "QuorvantileAgentReply.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace ostrel {

namespace {

// Counts beyond this are not frame counts (and would not survive a double).
constexpr double kMaxCount = 9e15;

} // namespace

std::optional<QuorvantileAgentStatusReply> quorvantileParseAgentStatus(QByteArrayView body,
                                                                       std::int64_t outputFrames)
{
    const QJsonObject answer = QJsonDocument::fromJson(body.toByteArray()).object();
    const QJsonValue statusValue = answer.value(QStringLiteral("status"));
    if (!statusValue.isString()) {
        return std::nullopt;
    }
    QuorvantileAgentStatusReply reply;
    reply.status = statusValue.toString();
    reply.error = answer.value(QStringLiteral("error")).toString(QStringLiteral("unknown"));
    const QJsonValue framesValue = answer.value(QStringLiteral("framesComplete"));
    const double reported = framesValue.toDouble();
    if (!framesValue.isDouble() || std::trunc(reported) != reported || std::fabs(reported) >= kMaxCount) {
        return reply;
    }
    const double agentTotal = answer.value(QStringLiteral("totalFrames")).toDouble(-1.0);
    if (agentTotal >= 1.0 && agentTotal < kMaxCount &&
        static_cast<std::int64_t>(agentTotal) != outputFrames) {
        const double scaled = reported * static_cast<double>(outputFrames) / agentTotal;
        if (std::fabs(scaled) < kMaxCount) {
            reply.frames = std::llround(scaled);
        }
        return reply;
    }
    reply.frames = static_cast<std::int64_t>(reported);
    return reply;
}

} // namespace ostrel
