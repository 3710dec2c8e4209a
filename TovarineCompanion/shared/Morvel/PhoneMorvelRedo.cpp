#include "PhoneMorvelRedo.h"

#include "JsonNumbers.h"
#include "MorvelDetail.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <algorithm>

namespace tovarine {

std::optional<PhoneMorvelRedo> PhoneMorvelRedo::load(const QString& resultDir)
{
    QFile file(QDir(resultDir).filePath(QStringLiteral("phone_morvel_settings.json")));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return fromJson(file.readAll());
}

std::optional<PhoneMorvelRedo> PhoneMorvelRedo::fromJson(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject top = document.object();
    const QJsonValue settingsValue = top.value(QStringLiteral("settings"));
    if (top.isEmpty() || !settingsValue.isObject()) {
        return std::nullopt;
    }
    const QJsonObject settings = settingsValue.toObject();
    QJsonObject hints;
    const QJsonValue host = settings.value(QStringLiteral("host"));
    if (host.isObject() && host.toObject().value(QStringLiteral("macRedo")).isObject()) {
        hints = host.toObject().value(QStringLiteral("macRedo")).toObject();
    }

    const std::int64_t target =
        JsonNumbers::integerOf(hints.value(QStringLiteral("targetQuads"))).value_or(3000);
    PhoneMorvelRedo redo;
    redo.targetQuads = std::max<std::int64_t>(30, target);
    redo.options = MorvelDetails::options(MorvelDetail::standard);
    redo.options.insert(QStringLiteral("mode"), QStringLiteral("redo"));
    redo.options.insert(QStringLiteral("targetQuads"), static_cast<qint64>(redo.targetQuads));
    if (target > 3000) {
        redo.options.insert(QStringLiteral("timeBudgetMs"), 600000);
    }
    if (const auto decimate = JsonNumbers::integerOf(hints.value(QStringLiteral("decimateTo")));
        decimate && *decimate >= 1) {
        redo.options.insert(QStringLiteral("decimateTo"), static_cast<qint64>(*decimate));
    }
    const QJsonValue crease = hints.value(QStringLiteral("creaseMode"));
    if (crease.isString() &&
        (crease.toString() == QLatin1String("after") || crease.toString() == QLatin1String("solve"))) {
        redo.options.insert(QStringLiteral("creaseMode"), crease.toString());
    }
    if (const auto passes = JsonNumbers::integerOf(hints.value(QStringLiteral("refitPasses")));
        passes && *passes >= 0) {
        redo.options.insert(QStringLiteral("refitPasses"), static_cast<qint64>(*passes));
    }
    const QJsonValue sharp = settings.value(QStringLiteral("preserveSharp"));
    if (sharp.isBool()) {
        redo.options.insert(QStringLiteral("preserveSharp"), sharp.toBool());
    }
    redo.phoneQuads = JsonNumbers::integerOf(top.value(QStringLiteral("quads")));
    return redo;
}

} // namespace tovarine
