#include "QuorvantileSegmentCheck.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <algorithm>
#include <charconv>
#include <limits>

namespace ostrel {

qint64 quorvantileSaturated(qint64 base, qint64 perUnit, qint64 units, qint64 ceiling)
{
    const qint64 b = std::clamp<qint64>(base, 0, ceiling);
    const qint64 u = std::max<qint64>(units, 0);
    const qint64 p = std::max<qint64>(perUnit, 0);
    if (p != 0 && u > (ceiling - b) / p) {
        return ceiling;
    }
    return b + p * u;
}

qint64 QuorvantileSegmentBounds::maxBytes(std::int64_t outputFrames) const
{
    return quorvantileSaturated(baseBytes, bytesPerFrame, outputFrames, std::numeric_limits<qint64>::max());
}

int QuorvantileSegmentBounds::timeLimitMs(std::int64_t outputFrames) const
{
    return static_cast<int>(
        quorvantileSaturated(baseTimeMs, timePerFrameMs, outputFrames, std::numeric_limits<int>::max()));
}

namespace QuorvantileSegmentCheck {

namespace {

// A count as ffprobe writes it: decimal digits only, as a string (or, from another writer, a whole number).
std::optional<std::int64_t> countOf(const QJsonValue& value)
{
    constexpr qsizetype kMaxDigits = 18; // below 2^63 whatever the digits
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (number >= 0.0 && number < 1e15 &&
            number == static_cast<double>(static_cast<std::int64_t>(number))) {
            return static_cast<std::int64_t>(number);
        }
        return std::nullopt;
    }
    const QByteArray text = value.toString().toLatin1();
    if (text.isEmpty() || text.size() > kMaxDigits ||
        !std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::int64_t count = 0;
    const auto [end, ec] = std::from_chars(text.constData(), text.constData() + text.size(), count);
    if (ec != std::errc() || end != text.constData() + text.size()) {
        return std::nullopt;
    }
    return count;
}

} // namespace

std::optional<std::int64_t> decodedVideoFrames(QByteArrayView ffprobeJson)
{
    if (ffprobeJson.size() > kMaxProbeOutputBytes) {
        return std::nullopt;
    }
    const QJsonArray streams = QJsonDocument::fromJson(ffprobeJson.toByteArray())
                                   .object()
                                   .value(QStringLiteral("streams"))
                                   .toArray();
    if (streams.isEmpty()) {
        return std::nullopt;
    }
    const QJsonObject stream = streams.first().toObject();
    if (stream.value(QStringLiteral("codec_type")).toString() != QLatin1String("video")) {
        return std::nullopt;
    }
    return countOf(stream.value(QStringLiteral("nb_read_frames")));
}

QuorvantileRenderFileResult check(const QString& path, std::int64_t expectedFrames, const Options& options)
{
    QProcess probe;
    probe.setStandardInputFile(QProcess::nullDevice());
    probe.setProcessChannelMode(QProcess::SeparateChannels);
    // "file:" keeps any path a plain file (ffmpeg reads "proto:..." as a protocol).
    probe.start(options.ffprobeProgram,
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                 QStringLiteral("v:0"), QStringLiteral("-count_frames"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=codec_type,nb_read_frames"), QStringLiteral("-of"),
                 QStringLiteral("json"), QStringLiteral("file:") + QFileInfo(path).absoluteFilePath()});
    if (!probe.waitForStarted()) {
        return QuorvantileRenderFileResult::failure(
            QStringLiteral("Could not start %1: %2").arg(options.ffprobeProgram, probe.errorString()));
    }
    if (!probe.waitForFinished(options.timeLimitMs)) {
        probe.kill();
        probe.waitForFinished();
        return QuorvantileRenderFileResult::failure(
            QStringLiteral("Segment check: %1 did not finish in time").arg(options.ffprobeProgram));
    }
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
        const QString detail = QString::fromUtf8(probe.readAllStandardError().left(4096)).trimmed();
        return QuorvantileRenderFileResult::failure(
            QStringLiteral("Segment is not a readable movie: %1")
                .arg(detail.isEmpty() ? QStringLiteral("exit %1").arg(probe.exitCode()) : detail));
    }
    const std::optional<std::int64_t> frames = decodedVideoFrames(probe.read(kMaxProbeOutputBytes + 1));
    if (!frames) {
        return QuorvantileRenderFileResult::failure(QStringLiteral("Segment holds no video frames"));
    }
    if (*frames != expectedFrames) {
        return QuorvantileRenderFileResult::failure(
            QStringLiteral("Segment holds %1 whole frames of %2").arg(*frames).arg(expectedFrames));
    }
    return QuorvantileRenderFileResult::success(path);
}

} // namespace QuorvantileSegmentCheck

} // namespace ostrel
