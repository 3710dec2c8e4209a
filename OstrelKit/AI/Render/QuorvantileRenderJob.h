#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QUuid>
#include <cstdint>
#include <optional>

namespace ostrel {

// Effect parameters of one render, the same for every segment. Only `multiplier` means something to the kit
// (output frames per source frame); every other field passes unchanged to the renderer. Plain value; any
// thread.
struct RenderParams
{
    double agitation = 0.0;
    double exposure = 0.0;
    double fixer = 0.0;
    double colorDrift = 0.0;
    double echo = 0.0;
    double grain = 0.0;
    std::int64_t multiplier = 1;
    std::int64_t upscale = 1;
    QString userPrompt;
    QString interpolation;
    bool hyperreal = false;
    double fps = 0.0;
    double directiveHueShift = 0.0;
    double directiveWarmth = 0.0;
    double directiveDreaminess = 0.0;
    double directiveSaturation = 0.0;
    QString directiveMood;
    QMap<QString, QString> custom;

    // All eighteen keys, "custom" as an empty object when the map is empty.
    QJsonObject toJson() const;
    // Compact JSON with the keys in field order.
    QByteArray toCompactJson() const;
    // The first seventeen keys are required with their JSON types; "custom" may be missing or null. Unknown
    // keys are ignored. Fails with no value and the reason in *error.
    static std::optional<RenderParams> fromJson(const QJsonObject& json, QString* error = nullptr);

    bool operator==(const RenderParams&) const = default;
};

// One contiguous segment [startFrame, endFrame) of one render. Immutable; any thread.
class QuorvantileRenderJob
{
public:
    QuorvantileRenderJob(QUuid jobID, std::int64_t startFrame, std::int64_t endFrame,
                         std::int64_t totalFrames, RenderParams params, std::int64_t sourceFileSize,
                         QString renderer = QStringLiteral("sarvek"));

    const QUuid& jobID() const { return m_jobID; }
    std::int64_t startFrame() const { return m_startFrame; }
    std::int64_t endFrame() const { return m_endFrame; }
    // Frames of the whole render this segment belongs to.
    std::int64_t totalFrames() const { return m_totalFrames; }
    const RenderParams& params() const { return m_params; }
    std::int64_t sourceFileSize() const { return m_sourceFileSize; }
    const QString& renderer() const { return m_renderer; }

    std::int64_t frameCount() const { return m_endFrame - m_startFrame; }
    // frameCount times the multiplier; a multiplier below 1 counts as 1.
    std::int64_t outputFrameCount() const;
    // frameCount / max(totalFrames, 1).
    double segmentFraction() const;

    QJsonObject toJson() const;
    // Compact JSON with the keys in field order, the UUID in upper case: the wire form peers read.
    QByteArray toCompactJson() const;
    // Every key but "renderer" is required ("renderer" missing or null reads "sarvek"). Also refused, as
    // outside what a segment can be: an end before the start, and a frame count that times the multiplier
    // does not fit 64 bits. Fails with no value and the reason in *error.
    static std::optional<QuorvantileRenderJob> fromJson(const QJsonObject& json, QString* error = nullptr);
    // Parses `bytes` as one JSON object and decodes it as above.
    static std::optional<QuorvantileRenderJob> fromJsonBytes(const QByteArray& bytes,
                                                             QString* error = nullptr);

    bool operator==(const QuorvantileRenderJob&) const = default;

private:
    QUuid m_jobID;
    std::int64_t m_startFrame;
    std::int64_t m_endFrame;
    std::int64_t m_totalFrames;
    RenderParams m_params;
    std::int64_t m_sourceFileSize;
    QString m_renderer;
};

// How far a segment has come; the JSON form is the name.
enum class QuorvantileRenderStatus { queued, transferring, rendering, complete, failed };

QString quorvantileRenderStatusName(QuorvantileRenderStatus status);
std::optional<QuorvantileRenderStatus> quorvantileRenderStatusFromName(const QString& name);

// One segment's state. Immutable; any thread.
struct QuorvantileRenderProgress
{
    QUuid jobID;
    QuorvantileRenderStatus status = QuorvantileRenderStatus::queued;
    std::int64_t framesComplete = 0;
    std::int64_t totalFrames = 0; // frames of the segment
    double elapsedSeconds = 0.0;
    std::optional<double> estimatedRemainingSeconds;

    // framesComplete / totalFrames, 0 when totalFrames <= 0; not clamped.
    double fraction() const;
    bool isFinal() const
    {
        return status == QuorvantileRenderStatus::complete || status == QuorvantileRenderStatus::failed;
    }

    // "estimatedRemainingSeconds" is left out when absent.
    QJsonObject toJson() const;
    // Compact JSON with the keys in field order.
    QByteArray toCompactJson() const;
    // The first five keys are required; the estimate may be missing or null; the status must be one of the
    // five names. Fails with no value and the reason in *error.
    static std::optional<QuorvantileRenderProgress> fromJson(const QJsonObject& json,
                                                             QString* error = nullptr);

    bool operator==(const QuorvantileRenderProgress&) const = default;
};

} // namespace ostrel
