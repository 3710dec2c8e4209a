#include "QuorvantileSegmentConcat.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>

namespace ostrel::QuorvantileSegmentConcat {

namespace {

struct Run
{
    bool ok = false;
    QByteArray output;
    QString message;
};

Run runProcess(const QString& program, const QStringList& arguments, int timeLimitMs)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        return {false, {}, QStringLiteral("Could not start %1: %2").arg(program, process.errorString())};
    }
    if (!process.waitForFinished(timeLimitMs)) {
        process.kill();
        process.waitForFinished();
        return {false, {}, QStringLiteral("%1 did not finish in time").arg(program)};
    }
    const QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString detail = QString::fromUtf8(process.readAllStandardError()).trimmed();
        return {
            false, output,
            QStringLiteral("%1 failed: %2")
                .arg(program, detail.isEmpty() ? QStringLiteral("exit %1").arg(process.exitCode()) : detail)};
    }
    return {true, output, {}};
}

// The concat demuxer reads its list line by line, so a path holding a line break cannot be listed.
bool listable(const QString& path)
{
    return !path.contains(QLatin1Char('\n')) && !path.contains(QLatin1Char('\r'));
}

// ffmpeg reads "proto:..." as a protocol; the file: prefix keeps every path a plain file.
QString fileArgument(const QString& path)
{
    return QStringLiteral("file:") + QFileInfo(path).absoluteFilePath();
}

// The first video stream's shape, or no value when the segment has none.
struct VideoShape
{
    QString codec;
    int width = 0;
    int height = 0;
    QString pixelFormat;
    QString frameRate;
    QString timeBase;
    bool operator==(const VideoShape&) const = default;
};

// A frame rate "num/den" in lowest terms, when it is a sane positive rate.
std::optional<std::pair<std::int64_t, std::int64_t>> reducedRate(const QString& rate)
{
    constexpr std::int64_t kMaxTerm = 1'000'000; // beyond it a rate is not a video's
    const QStringList parts = rate.split(QLatin1Char('/'));
    bool numberOk = false;
    bool denominatorOk = false;
    const std::int64_t p = parts.size() == 2 ? parts[0].toLongLong(&numberOk) : 0;
    const std::int64_t q = parts.size() == 2 ? parts[1].toLongLong(&denominatorOk) : 0;
    if (!numberOk || !denominatorOk || p <= 0 || q <= 0 || p > kMaxTerm || q > kMaxTerm) {
        return std::nullopt;
    }
    const std::int64_t divisor = std::gcd(p, q);
    return std::pair{p / divisor, q / divisor};
}

// Ticks per second of a clock on which every frame of every segment falls on a whole tick, when the
// segments' frame rates give one that a QuickTime track can hold. Rates p/q (in lowest terms) have frames q/p
// seconds apart, so lcm(p) ticks per second hold them all.
std::optional<std::int64_t> commonTimescale(const QList<VideoShape>& shapes)
{
    constexpr std::int64_t kMaxTimescale = 1'000'000;
    std::int64_t ticksPerSecond = 1;
    for (const VideoShape& shape : shapes) {
        const auto rate = reducedRate(shape.frameRate);
        if (!rate) {
            return std::nullopt;
        }
        ticksPerSecond = std::lcm(ticksPerSecond, rate->first);
        if (ticksPerSecond > kMaxTimescale) {
            return std::nullopt;
        }
    }
    return ticksPerSecond;
}

} // namespace

QuorvantileRenderFileResult concatenate(const QStringList& segments, const QString& outputPath,
                                        const Options& options)
{
    if (segments.isEmpty()) {
        return QuorvantileRenderFileResult::failure(QuorvantileRenderError::noSegments);
    }
    if (segments.size() == 1) {
        QFile source(segments.first());
        if (!source.copy(outputPath)) {
            return QuorvantileRenderFileResult::failure(
                QStringLiteral("Could not copy %1 to %2: %3")
                    .arg(segments.first(), outputPath, source.errorString()));
        }
        return QuorvantileRenderFileResult::success(outputPath);
    }
    QStringList withVideo;
    QList<VideoShape> shapes;
    for (const QString& segment : segments) {
        const Run probe =
            runProcess(options.ffprobeProgram,
                       {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                        QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                        QStringLiteral("stream=codec_name,width,height,pix_fmt,r_frame_rate,time_base"),
                        QStringLiteral("-of"), QStringLiteral("json"), fileArgument(segment)},
                       options.timeLimitMs);
        if (!probe.ok) {
            return QuorvantileRenderFileResult::failure(probe.message);
        }
        const QJsonArray streams =
            QJsonDocument::fromJson(probe.output).object().value(QStringLiteral("streams")).toArray();
        if (streams.isEmpty()) {
            continue;
        }
        const QJsonObject stream = streams.first().toObject();
        shapes.append({stream.value(QStringLiteral("codec_name")).toString(),
                       stream.value(QStringLiteral("width")).toInt(),
                       stream.value(QStringLiteral("height")).toInt(),
                       stream.value(QStringLiteral("pix_fmt")).toString(),
                       stream.value(QStringLiteral("r_frame_rate")).toString(),
                       stream.value(QStringLiteral("time_base")).toString()});
        withVideo.append(segment);
    }
    if (withVideo.isEmpty()) {
        return QuorvantileRenderFileResult::failure(QuorvantileRenderError::compositionFailed);
    }
    const bool allMatch =
        std::all_of(shapes.cbegin(), shapes.cend(), [&](const VideoShape& s) { return s == shapes.first(); });
    QStringList arguments{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                          QStringLiteral("error"), QStringLiteral("-nostdin"), QStringLiteral("-n")};
    QTemporaryDir workFolder; // private (0700), removed on return
    if (allMatch && std::all_of(withVideo.cbegin(), withVideo.cend(), listable)) {
        if (!workFolder.isValid()) {
            return QuorvantileRenderFileResult::failure(
                QStringLiteral("Could not create a work folder: %1").arg(workFolder.errorString()));
        }
        QByteArray list;
        for (const QString& segment : withVideo) {
            QString quoted = fileArgument(segment);
            quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
            list += "file '" + quoted.toUtf8() + "'\n";
        }
        QFile listFile(workFolder.filePath(QStringLiteral("segments.txt")));
        if (!listFile.open(QIODevice::WriteOnly) || listFile.write(list) != list.size()) {
            return QuorvantileRenderFileResult::failure(
                QStringLiteral("Could not write the segment list: %1").arg(listFile.errorString()));
        }
        listFile.close();
        // The frames keep the times the demuxer gives them. Without -copyts ffmpeg would move every stream
        // by the input's start, which sound sets: AAC starts before zero by its encoder delay, so every frame
        // would start that much late (21 ms at 48 kHz) behind an empty edit.
        arguments << QStringLiteral("-copyts") << QStringLiteral("-f") << QStringLiteral("concat")
                  << QStringLiteral("-safe") << QStringLiteral("0") << QStringLiteral("-i")
                  << fileArgument(listFile.fileName()) << QStringLiteral("-map") << QStringLiteral("0:v:0")
                  << QStringLiteral("-c") << QStringLiteral("copy");
    } else {
        QString graph;
        QString joined;
        for (qsizetype i = 0; i < withVideo.size(); ++i) {
            arguments << QStringLiteral("-i") << fileArgument(withVideo[i]);
            graph += QStringLiteral("[%1:v:0]scale=%2:%3,setsar=1,format=yuv420p[v%1];")
                         .arg(i)
                         .arg(shapes.first().width)
                         .arg(shapes.first().height);
            joined += QStringLiteral("[v%1]").arg(i);
        }
        // Segments of different frame rates leave the joined stream without one rate. Every frame is kept
        // once at its own time (variable frame rate); with a constant rate ffmpeg would repeat frames at the
        // microsecond clock the concat filter runs on, a million per second.
        graph += joined + QStringLiteral("concat=n=%1:v=1:a=0").arg(withVideo.size());
        const std::optional<std::int64_t> timescale = commonTimescale(shapes);
        if (timescale) {
            graph += QStringLiteral(",settb=1/%1").arg(*timescale);
        }
        graph += QStringLiteral("[out]");
        arguments << QStringLiteral("-filter_complex") << graph << QStringLiteral("-map")
                  << QStringLiteral("[out]") << QStringLiteral("-fps_mode") << QStringLiteral("vfr")
                  << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-pix_fmt")
                  << QStringLiteral("yuv420p");
        if (timescale) {
            // Frames leave the concat filter of mixed rates without their duration, so the last one would
            // get a token length of one tick and the track's edit list could cut it. The track keeps the
            // filter's clock (packet times need no rescaling) and every packet gets the last segment's frame
            // duration: a QuickTime track takes its sample durations from the decode times and only the last
            // one from the packet, so the last frame lasts one frame of its own segment and the movie's
            // length is the sum of the segments'.
            const auto lastRate = *reducedRate(shapes.last().frameRate);
            const std::int64_t lastFrameTicks = lastRate.second * (*timescale / lastRate.first);
            arguments << QStringLiteral("-video_track_timescale") << QString::number(*timescale)
                      << QStringLiteral("-bsf:v")
                      << QStringLiteral("setts=pts=PTS:dts=DTS:duration=%1").arg(lastFrameTicks);
        }
    }
    arguments << QStringLiteral("-f") << QStringLiteral("mov") << fileArgument(outputPath);
    const Run join = runProcess(options.ffmpegProgram, arguments, options.timeLimitMs);
    if (!join.ok) {
        QuorvantileRenderFileResult failure =
            QuorvantileRenderFileResult::failure(QuorvantileRenderError::compositionFailed);
        failure.message += QStringLiteral(": ") + join.message;
        return failure;
    }
    return QuorvantileRenderFileResult::success(outputPath);
}

} // namespace ostrel::QuorvantileSegmentConcat
