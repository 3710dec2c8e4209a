#include "QuorvantileRenderJob.h"

#include "QuorvantileManifest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace ostrel {

namespace {

// Compact JSON of `fields` in the order given (QJsonObject would sort them).
QByteArray orderedObject(std::initializer_list<std::pair<const char*, QByteArray>> fields)
{
    QByteArray out = "{";
    for (const auto& [key, value] : fields) {
        if (out.size() > 1) {
            out += ',';
        }
        out += '"';
        out += key;
        out += "\":";
        out += value;
    }
    out += '}';
    return out;
}

// One JSON value in compact form.
QByteArray valueText(const QJsonValue& value)
{
    if (value.isObject()) {
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    }
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

template <typename T> std::optional<T> failWith(QString* error, const QString& message)
{
    if (error) {
        *error = message;
    }
    return std::nullopt;
}

QString wrongKey(const char* record, const QString& key)
{
    return QStringLiteral("%1 key \"%2\" is missing or has the wrong type").arg(QLatin1String(record), key);
}

std::optional<std::int64_t> wholeNumber(const QJsonValue& value)
{
    return quorvantileJsonWholeNumber(value);
}

std::optional<double> number(const QJsonValue& value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    return value.toDouble();
}

} // namespace

QJsonObject RenderParams::toJson() const
{
    QJsonObject customObject;
    for (auto it = custom.cbegin(); it != custom.cend(); ++it) {
        customObject.insert(it.key(), it.value());
    }
    return QJsonObject{
        {QStringLiteral("agitation"), agitation},
        {QStringLiteral("exposure"), exposure},
        {QStringLiteral("fixer"), fixer},
        {QStringLiteral("colorDrift"), colorDrift},
        {QStringLiteral("echo"), echo},
        {QStringLiteral("grain"), grain},
        {QStringLiteral("multiplier"), static_cast<qint64>(multiplier)},
        {QStringLiteral("upscale"), static_cast<qint64>(upscale)},
        {QStringLiteral("userPrompt"), userPrompt},
        {QStringLiteral("interpolation"), interpolation},
        {QStringLiteral("hyperreal"), hyperreal},
        {QStringLiteral("fps"), fps},
        {QStringLiteral("directiveHueShift"), directiveHueShift},
        {QStringLiteral("directiveWarmth"), directiveWarmth},
        {QStringLiteral("directiveDreaminess"), directiveDreaminess},
        {QStringLiteral("directiveSaturation"), directiveSaturation},
        {QStringLiteral("directiveMood"), directiveMood},
        {QStringLiteral("custom"), customObject},
    };
}

std::optional<RenderParams> RenderParams::fromJson(const QJsonObject& json, QString* error)
{
    RenderParams params;
    const std::array<std::pair<const char*, double*>, 11> doubles{{
        {"agitation", &params.agitation},
        {"exposure", &params.exposure},
        {"fixer", &params.fixer},
        {"colorDrift", &params.colorDrift},
        {"echo", &params.echo},
        {"grain", &params.grain},
        {"fps", &params.fps},
        {"directiveHueShift", &params.directiveHueShift},
        {"directiveWarmth", &params.directiveWarmth},
        {"directiveDreaminess", &params.directiveDreaminess},
        {"directiveSaturation", &params.directiveSaturation},
    }};
    for (const auto& [key, target] : doubles) {
        const auto value = number(json.value(QLatin1String(key)));
        if (!value) {
            return failWith<RenderParams>(error, wrongKey("Params", QLatin1String(key)));
        }
        *target = *value;
    }
    const std::array<std::pair<const char*, std::int64_t*>, 2> integers{{
        {"multiplier", &params.multiplier},
        {"upscale", &params.upscale},
    }};
    for (const auto& [key, target] : integers) {
        const auto value = wholeNumber(json.value(QLatin1String(key)));
        if (!value) {
            return failWith<RenderParams>(error, wrongKey("Params", QLatin1String(key)));
        }
        *target = *value;
    }
    const std::array<std::pair<const char*, QString*>, 3> strings{{
        {"userPrompt", &params.userPrompt},
        {"interpolation", &params.interpolation},
        {"directiveMood", &params.directiveMood},
    }};
    for (const auto& [key, target] : strings) {
        const QJsonValue value = json.value(QLatin1String(key));
        if (!value.isString()) {
            return failWith<RenderParams>(error, wrongKey("Params", QLatin1String(key)));
        }
        *target = value.toString();
    }
    const QJsonValue hyperreal = json.value(QStringLiteral("hyperreal"));
    if (!hyperreal.isBool()) {
        return failWith<RenderParams>(error, wrongKey("Params", QStringLiteral("hyperreal")));
    }
    params.hyperreal = hyperreal.toBool();
    const QJsonValue custom = json.value(QStringLiteral("custom"));
    if (custom.isObject()) {
        const QJsonObject object = custom.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.value().isString()) {
                return failWith<RenderParams>(
                    error, QStringLiteral("Params \"custom\" holds a value that is not a string"));
            }
            params.custom.insert(it.key(), it.value().toString());
        }
    } else if (!custom.isUndefined() && !custom.isNull()) {
        return failWith<RenderParams>(error, wrongKey("Params", QStringLiteral("custom")));
    }
    return params;
}

QuorvantileRenderJob::QuorvantileRenderJob(QUuid jobID, std::int64_t startFrame, std::int64_t endFrame,
                                           std::int64_t totalFrames, RenderParams params,
                                           std::int64_t sourceFileSize, QString renderer)
    : m_jobID(jobID), m_startFrame(startFrame), m_endFrame(endFrame), m_totalFrames(totalFrames),
      m_params(std::move(params)), m_sourceFileSize(sourceFileSize), m_renderer(std::move(renderer))
{
}

std::int64_t QuorvantileRenderJob::outputFrameCount() const
{
    return frameCount() * std::max<std::int64_t>(m_params.multiplier, 1);
}

double QuorvantileRenderJob::segmentFraction() const
{
    return static_cast<double>(frameCount()) / static_cast<double>(std::max<std::int64_t>(m_totalFrames, 1));
}

QByteArray RenderParams::toCompactJson() const
{
    QJsonObject customObject;
    for (auto it = custom.cbegin(); it != custom.cend(); ++it) {
        customObject.insert(it.key(), it.value());
    }
    return orderedObject({
        {"agitation", valueText(agitation)},
        {"exposure", valueText(exposure)},
        {"fixer", valueText(fixer)},
        {"colorDrift", valueText(colorDrift)},
        {"echo", valueText(echo)},
        {"grain", valueText(grain)},
        {"multiplier", valueText(static_cast<qint64>(multiplier))},
        {"upscale", valueText(static_cast<qint64>(upscale))},
        {"userPrompt", valueText(userPrompt)},
        {"interpolation", valueText(interpolation)},
        {"hyperreal", valueText(hyperreal)},
        {"fps", valueText(fps)},
        {"directiveHueShift", valueText(directiveHueShift)},
        {"directiveWarmth", valueText(directiveWarmth)},
        {"directiveDreaminess", valueText(directiveDreaminess)},
        {"directiveSaturation", valueText(directiveSaturation)},
        {"directiveMood", valueText(directiveMood)},
        {"custom", valueText(customObject)},
    });
}

QJsonObject QuorvantileRenderJob::toJson() const
{
    return QJsonObject{
        {QStringLiteral("jobID"), quorvantileUuidText(m_jobID)},
        {QStringLiteral("startFrame"), static_cast<qint64>(m_startFrame)},
        {QStringLiteral("endFrame"), static_cast<qint64>(m_endFrame)},
        {QStringLiteral("totalFrames"), static_cast<qint64>(m_totalFrames)},
        {QStringLiteral("params"), m_params.toJson()},
        {QStringLiteral("sourceFileSize"), static_cast<qint64>(m_sourceFileSize)},
        {QStringLiteral("renderer"), m_renderer},
    };
}

QByteArray QuorvantileRenderJob::toCompactJson() const
{
    return orderedObject({
        {"jobID", valueText(quorvantileUuidText(m_jobID))},
        {"startFrame", valueText(static_cast<qint64>(m_startFrame))},
        {"endFrame", valueText(static_cast<qint64>(m_endFrame))},
        {"totalFrames", valueText(static_cast<qint64>(m_totalFrames))},
        {"params", m_params.toCompactJson()},
        {"sourceFileSize", valueText(static_cast<qint64>(m_sourceFileSize))},
        {"renderer", valueText(m_renderer)},
    });
}

std::optional<QuorvantileRenderJob> QuorvantileRenderJob::fromJson(const QJsonObject& json, QString* error)
{
    const QJsonValue idValue = json.value(QStringLiteral("jobID"));
    if (!idValue.isString()) {
        return failWith<QuorvantileRenderJob>(error, wrongKey("Job", QStringLiteral("jobID")));
    }
    const auto jobID = quorvantileUuidFromText(idValue.toString());
    if (!jobID) {
        return failWith<QuorvantileRenderJob>(error, QStringLiteral("Job \"jobID\" is not a UUID"));
    }
    std::array<std::int64_t, 4> numbers{};
    const std::array<const char*, 4> numberKeys{"startFrame", "endFrame", "totalFrames", "sourceFileSize"};
    for (std::size_t i = 0; i < numberKeys.size(); ++i) {
        const auto value = wholeNumber(json.value(QLatin1String(numberKeys[i])));
        if (!value) {
            return failWith<QuorvantileRenderJob>(error, wrongKey("Job", QLatin1String(numberKeys[i])));
        }
        numbers[i] = *value;
    }
    const QJsonValue paramsValue = json.value(QStringLiteral("params"));
    if (!paramsValue.isObject()) {
        return failWith<QuorvantileRenderJob>(error, wrongKey("Job", QStringLiteral("params")));
    }
    auto params = RenderParams::fromJson(paramsValue.toObject(), error);
    if (!params) {
        return std::nullopt;
    }
    QString renderer = QStringLiteral("sarvek");
    const QJsonValue rendererValue = json.value(QStringLiteral("renderer"));
    if (rendererValue.isString()) {
        renderer = rendererValue.toString();
    } else if (!rendererValue.isUndefined() && !rendererValue.isNull()) {
        return failWith<QuorvantileRenderJob>(error, wrongKey("Job", QStringLiteral("renderer")));
    }
    const std::int64_t start = numbers[0];
    const std::int64_t end = numbers[1];
    // Both lie within ±2^53, so the difference cannot overflow; the product with the multiplier can.
    if (end < start) {
        return failWith<QuorvantileRenderJob>(error, QStringLiteral("Job ends before it starts"));
    }
    const std::int64_t multiplier = std::max<std::int64_t>(params->multiplier, 1);
    std::int64_t output = 0;
    if (__builtin_mul_overflow(end - start, multiplier, &output)) {
        return failWith<QuorvantileRenderJob>(error,
                                              QStringLiteral("Job's output frame count is out of range"));
    }
    return QuorvantileRenderJob(*jobID, start, end, numbers[2], std::move(*params), numbers[3],
                                std::move(renderer));
}

std::optional<QuorvantileRenderJob> QuorvantileRenderJob::fromJsonBytes(const QByteArray& bytes,
                                                                        QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        return failWith<QuorvantileRenderJob>(error, QStringLiteral("Job is not a JSON object"));
    }
    return fromJson(document.object(), error);
}

QString quorvantileRenderStatusName(QuorvantileRenderStatus status)
{
    switch (status) {
    case QuorvantileRenderStatus::queued:
        return QStringLiteral("queued");
    case QuorvantileRenderStatus::transferring:
        return QStringLiteral("transferring");
    case QuorvantileRenderStatus::rendering:
        return QStringLiteral("rendering");
    case QuorvantileRenderStatus::complete:
        return QStringLiteral("complete");
    case QuorvantileRenderStatus::failed:
        return QStringLiteral("failed");
    }
    return QStringLiteral("failed");
}

std::optional<QuorvantileRenderStatus> quorvantileRenderStatusFromName(const QString& name)
{
    for (const auto status : {QuorvantileRenderStatus::queued, QuorvantileRenderStatus::transferring,
                              QuorvantileRenderStatus::rendering, QuorvantileRenderStatus::complete,
                              QuorvantileRenderStatus::failed}) {
        if (quorvantileRenderStatusName(status) == name) {
            return status;
        }
    }
    return std::nullopt;
}

double QuorvantileRenderProgress::fraction() const
{
    if (totalFrames <= 0) {
        return 0.0;
    }
    return static_cast<double>(framesComplete) / static_cast<double>(totalFrames);
}

QJsonObject QuorvantileRenderProgress::toJson() const
{
    QJsonObject json{
        {QStringLiteral("jobID"), quorvantileUuidText(jobID)},
        {QStringLiteral("status"), quorvantileRenderStatusName(status)},
        {QStringLiteral("framesComplete"), static_cast<qint64>(framesComplete)},
        {QStringLiteral("totalFrames"), static_cast<qint64>(totalFrames)},
        {QStringLiteral("elapsedSeconds"), elapsedSeconds},
    };
    if (estimatedRemainingSeconds) {
        json.insert(QStringLiteral("estimatedRemainingSeconds"), *estimatedRemainingSeconds);
    }
    return json;
}

QByteArray QuorvantileRenderProgress::toCompactJson() const
{
    const QByteArray fields = orderedObject({
        {"jobID", valueText(quorvantileUuidText(jobID))},
        {"status", valueText(quorvantileRenderStatusName(status))},
        {"framesComplete", valueText(static_cast<qint64>(framesComplete))},
        {"totalFrames", valueText(static_cast<qint64>(totalFrames))},
        {"elapsedSeconds", valueText(elapsedSeconds)},
    });
    if (!estimatedRemainingSeconds) {
        return fields;
    }
    return fields.chopped(1) + ",\"estimatedRemainingSeconds\":" + valueText(*estimatedRemainingSeconds) +
           '}';
}

std::optional<QuorvantileRenderProgress> QuorvantileRenderProgress::fromJson(const QJsonObject& json,
                                                                             QString* error)
{
    QuorvantileRenderProgress progress;
    const QJsonValue idValue = json.value(QStringLiteral("jobID"));
    const auto jobID = idValue.isString() ? quorvantileUuidFromText(idValue.toString()) : std::nullopt;
    if (!jobID) {
        return failWith<QuorvantileRenderProgress>(error, wrongKey("Progress", QStringLiteral("jobID")));
    }
    progress.jobID = *jobID;
    const QJsonValue statusValue = json.value(QStringLiteral("status"));
    const auto status =
        statusValue.isString() ? quorvantileRenderStatusFromName(statusValue.toString()) : std::nullopt;
    if (!status) {
        return failWith<QuorvantileRenderProgress>(
            error, QStringLiteral("Progress \"status\" is not a known status"));
    }
    progress.status = *status;
    const auto frames = wholeNumber(json.value(QStringLiteral("framesComplete")));
    const auto total = wholeNumber(json.value(QStringLiteral("totalFrames")));
    const auto elapsed = number(json.value(QStringLiteral("elapsedSeconds")));
    if (!frames || !total || !elapsed) {
        return failWith<QuorvantileRenderProgress>(
            error,
            QStringLiteral("Progress frame counts or elapsed time are missing or have the wrong type"));
    }
    progress.framesComplete = *frames;
    progress.totalFrames = *total;
    progress.elapsedSeconds = *elapsed;
    const QJsonValue remaining = json.value(QStringLiteral("estimatedRemainingSeconds"));
    if (remaining.isDouble()) {
        progress.estimatedRemainingSeconds = remaining.toDouble();
    } else if (!remaining.isUndefined() && !remaining.isNull()) {
        return failWith<QuorvantileRenderProgress>(
            error, wrongKey("Progress", QStringLiteral("estimatedRemainingSeconds")));
    }
    return progress;
}

} // namespace ostrel
