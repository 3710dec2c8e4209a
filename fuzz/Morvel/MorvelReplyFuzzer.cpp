// libFuzzer target for the parsers of outside input in the cage fit: the engine's reply, its messages, the
// phone's settings file and the scheme's URL rules.
#include "EngineMessage.h"
#include "EngineSchemeRules.h"
#include "MorvelOutput.h"
#include "MorvelReply.h"
#include "PhoneMorvelRedo.h"

#include <QByteArray>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <cstddef>
#include <cstdint>

using namespace tovarine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto reply = MorvelReply::decode(bytes)) {
        (void)reply->summary(1234, std::nullopt);
        if (reply->limit) {
            (void)MorvelOutput::floats(reply->limit->positions);
            (void)MorvelOutput::words(reply->limit->triangles);
        }
    }
    (void)PhoneMorvelRedo::fromJson(bytes);
    (void)interpretEngineMessage(QJsonDocument::fromJson(bytes).object());
    (void)EngineSchemeRules::answer(QUrl(QStringLiteral("tovarine-engine://app/") + QString::fromUtf8(bytes)),
                                    QHash<QString, QByteArray>{{QStringLiteral("__data/a"), "x"}}, QString());
    return 0;
}
