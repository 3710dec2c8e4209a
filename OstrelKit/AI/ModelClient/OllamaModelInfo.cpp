#include "OllamaModelInfo.h"

#include <QJsonArray>
#include <array>
#include <cmath>

namespace ostrel {

namespace {

// Reads an optional text key: absent/null is fine (nullopt in `out`), another type fails.
bool readOptionalText(const QJsonObject& object, const QString& key, std::optional<QString>& out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        out.reset();
        return true;
    }
    if (!value.isString()) {
        return false;
    }
    out = value.toString();
    return true;
}

} // namespace

QString OllamaModelInfo::displaySize() const
{
    if (!size) {
        return QStringLiteral("?");
    }
    const double gib = static_cast<double>(*size) / 1073741824.0;
    return QString::asprintf("%.1fGB", gib);
}

bool OllamaModelInfo::isVisionCapable() const
{
    static const std::array<QString, 5> fragments = {QStringLiteral("llava"), QStringLiteral("qwen2-vl"),
                                                     QStringLiteral("bakllava"), QStringLiteral("moondream"),
                                                     QStringLiteral("minicpm-v")};
    const QString lowered = name.toLower();
    for (const QString& fragment : fragments) {
        if (lowered.contains(fragment)) {
            return true;
        }
    }
    return false;
}

std::optional<OllamaModelInfo> OllamaModelInfo::fromJson(const QJsonValue& value)
{
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    const QJsonValue name = object.value(QLatin1String("name"));
    if (!name.isString()) {
        return std::nullopt;
    }
    OllamaModelInfo info;
    info.name = name.toString();

    const QJsonValue size = object.value(QLatin1String("size"));
    if (!size.isUndefined() && !size.isNull()) {
        // A whole number that fits a signed 64-bit integer; JSON numbers arrive as doubles beyond 2^53.
        if (!size.isDouble()) {
            return std::nullopt;
        }
        const double number = size.toDouble();
        if (!std::isfinite(number) || number != std::floor(number) || number < -9.2e18 || number > 9.2e18) {
            return std::nullopt;
        }
        info.size = size.toInteger();
    }

    const QJsonValue details = object.value(QLatin1String("details"));
    if (!details.isUndefined() && !details.isNull()) {
        if (!details.isObject()) {
            return std::nullopt;
        }
        const QJsonObject detailsObject = details.toObject();
        ModelDetails parsed;
        if (!readOptionalText(detailsObject, QStringLiteral("family"), parsed.family)
            || !readOptionalText(detailsObject, QStringLiteral("parameter_size"), parsed.parameter_size)) {
            return std::nullopt;
        }
        info.details = parsed;
    }
    return info;
}

QJsonObject OllamaModelInfo::toJson() const
{
    QJsonObject object;
    object.insert(QLatin1String("name"), name);
    if (size) {
        object.insert(QLatin1String("size"), QJsonValue(*size));
    }
    if (details) {
        QJsonObject detailsObject;
        if (details->family) {
            detailsObject.insert(QLatin1String("family"), *details->family);
        }
        if (details->parameter_size) {
            detailsObject.insert(QLatin1String("parameter_size"), *details->parameter_size);
        }
        object.insert(QLatin1String("details"), detailsObject);
    }
    return object;
}

std::optional<QList<OllamaModelInfo>> OllamaModelInfo::decodeTagsResponse(const QJsonValue& body)
{
    if (!body.isObject()) {
        return std::nullopt;
    }
    const QJsonValue models = body.toObject().value(QLatin1String("models"));
    if (!models.isArray()) {
        return std::nullopt;
    }
    QList<OllamaModelInfo> list;
    const QJsonArray array = models.toArray();
    list.reserve(array.size());
    for (const QJsonValue& entry : array) {
        std::optional<OllamaModelInfo> info = fromJson(entry);
        if (!info) {
            return std::nullopt;
        }
        list.append(std::move(*info));
    }
    return list;
}

} // namespace ostrel
