#include "QuorvantileManifest.h"

#include <QJsonArray>
#include <cmath>
#include <utility>

namespace ostrel {

QString quorvantilePlatformRawValue(QuorvantilePlatform platform)
{
    switch (platform) {
    case QuorvantilePlatform::macOS:
        return QStringLiteral("macOS");
    case QuorvantilePlatform::windows:
        return QStringLiteral("windows");
    case QuorvantilePlatform::linux:
        return QStringLiteral("linux");
    }
    return {};
}

std::optional<QuorvantilePlatform> quorvantilePlatformFromRawValue(const QString& raw)
{
    for (auto platform :
         {QuorvantilePlatform::macOS, QuorvantilePlatform::windows, QuorvantilePlatform::linux}) {
        if (raw == quorvantilePlatformRawValue(platform)) {
            return platform;
        }
    }
    return std::nullopt;
}

QString quorvantileUuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> quorvantileUuidFromText(const QString& text)
{
    if (text.size() != 36) {
        return std::nullopt;
    }
    for (int i = 0; i < 36; ++i) {
        const char16_t c = text.at(i).unicode();
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (dash ? c != u'-' : !hex) {
            return std::nullopt;
        }
    }
    return QUuid::fromString(text);
}

QuorvantileManifest::QuorvantileManifest(QUuid nodeID, QString nodeName, QuorvantilePlatform platform,
                                         QStringList ollamaModels, QString ollamaBaseURL,
                                         std::int64_t cpuCores, std::int64_t ramMB,
                                         std::optional<QString> gpuName,
                                         std::optional<std::int64_t> gpuVRAMMB, bool hasMetal,
                                         double currentLoad)
    : m_nodeID(nodeID), m_nodeName(std::move(nodeName)), m_platform(platform),
      m_ollamaModels(std::move(ollamaModels)), m_ollamaBaseURL(std::move(ollamaBaseURL)),
      m_cpuCores(cpuCores), m_ramMB(ramMB), m_gpuName(std::move(gpuName)), m_gpuVRAMMB(gpuVRAMMB),
      m_hasMetal(hasMetal), m_currentLoad(currentLoad)
{
}

QJsonObject QuorvantileManifest::toJson() const
{
    QJsonObject json{
        {QStringLiteral("nodeID"), quorvantileUuidText(m_nodeID)},
        {QStringLiteral("nodeName"), m_nodeName},
        {QStringLiteral("platform"), quorvantilePlatformRawValue(m_platform)},
        {QStringLiteral("ollamaModels"), QJsonArray::fromStringList(m_ollamaModels)},
        {QStringLiteral("ollamaBaseURL"), m_ollamaBaseURL},
        {QStringLiteral("cpuCores"), static_cast<qint64>(m_cpuCores)},
        {QStringLiteral("ramMB"), static_cast<qint64>(m_ramMB)},
        {QStringLiteral("hasMetal"), m_hasMetal},
        {QStringLiteral("currentLoad"), m_currentLoad},
    };
    if (m_gpuName) {
        json.insert(QStringLiteral("gpuName"), *m_gpuName);
    }
    if (m_gpuVRAMMB) {
        json.insert(QStringLiteral("gpuVRAMMB"), static_cast<qint64>(*m_gpuVRAMMB));
    }
    return json;
}

namespace {

// JSON numbers are doubles: a whole number within ±2^53 reads back exactly.
std::optional<std::int64_t> wholeNumber(const QJsonValue& value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double d = value.toDouble();
    constexpr double kExactLimit = 9007199254740992.0;
    if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > kExactLimit) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(d);
}

std::optional<QuorvantileManifest> failWith(QString* error, const QString& message)
{
    if (error) {
        *error = message;
    }
    return std::nullopt;
}

} // namespace

std::optional<QuorvantileManifest> QuorvantileManifest::fromJson(const QJsonObject& json, QString* error)
{
    const auto wrong = [&](const char* key) {
        return failWith(
            error,
            QStringLiteral("Manifest key \"%1\" is missing or has the wrong type").arg(QLatin1String(key)));
    };
    const QJsonValue id = json.value(QStringLiteral("nodeID"));
    if (!id.isString()) {
        return wrong("nodeID");
    }
    const auto nodeID = quorvantileUuidFromText(id.toString());
    if (!nodeID) {
        return failWith(error, QStringLiteral("Manifest \"nodeID\" is not a UUID"));
    }
    const QJsonValue name = json.value(QStringLiteral("nodeName"));
    if (!name.isString()) {
        return wrong("nodeName");
    }
    const QJsonValue platformValue = json.value(QStringLiteral("platform"));
    if (!platformValue.isString()) {
        return wrong("platform");
    }
    const auto platform = quorvantilePlatformFromRawValue(platformValue.toString());
    if (!platform) {
        return failWith(error, QStringLiteral("Manifest \"platform\" is not macOS, windows or linux"));
    }
    const QJsonValue modelsValue = json.value(QStringLiteral("ollamaModels"));
    if (!modelsValue.isArray()) {
        return wrong("ollamaModels");
    }
    QStringList models;
    for (const QJsonValue& model : modelsValue.toArray()) {
        if (!model.isString()) {
            return wrong("ollamaModels");
        }
        models.append(model.toString());
    }
    const QJsonValue baseURL = json.value(QStringLiteral("ollamaBaseURL"));
    if (!baseURL.isString()) {
        return wrong("ollamaBaseURL");
    }
    const auto cpuCores = wholeNumber(json.value(QStringLiteral("cpuCores")));
    if (!cpuCores) {
        return wrong("cpuCores");
    }
    const auto ramMB = wholeNumber(json.value(QStringLiteral("ramMB")));
    if (!ramMB) {
        return wrong("ramMB");
    }
    std::optional<QString> gpuName;
    const QJsonValue gpuNameValue = json.value(QStringLiteral("gpuName"));
    if (gpuNameValue.isString()) {
        gpuName = gpuNameValue.toString();
    } else if (!gpuNameValue.isUndefined() && !gpuNameValue.isNull()) {
        return wrong("gpuName");
    }
    std::optional<std::int64_t> gpuVRAMMB;
    const QJsonValue vramValue = json.value(QStringLiteral("gpuVRAMMB"));
    if (!vramValue.isUndefined() && !vramValue.isNull()) {
        gpuVRAMMB = wholeNumber(vramValue);
        if (!gpuVRAMMB) {
            return wrong("gpuVRAMMB");
        }
    }
    const QJsonValue hasMetal = json.value(QStringLiteral("hasMetal"));
    if (!hasMetal.isBool()) {
        return wrong("hasMetal");
    }
    const QJsonValue load = json.value(QStringLiteral("currentLoad"));
    if (!load.isDouble()) {
        return wrong("currentLoad");
    }
    return QuorvantileManifest(*nodeID, name.toString(), *platform, models, baseURL.toString(), *cpuCores,
                               *ramMB, gpuName, gpuVRAMMB, hasMetal.toBool(), load.toDouble());
}

} // namespace ostrel
