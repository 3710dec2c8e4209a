// Stand-in for the renderer a host application or a render agent runs: takes the renderer's arguments
// (--render-segment SOURCE --job JOB.json --output OUT.mov), reads the job with the kit's decoder and writes
// a short real movie with the segment's output frame count in one colour (ffmpeg's colour source). Test
// knobs, from arguments or the environment (the ssh command line is fixed, so remote runs use the
// environment):
//   --color NAME        QUORVANTILE_STANDIN_COLOR     colour of every frame (default gray)
//   --frame-ms N        QUORVANTILE_STANDIN_FRAME_MS  cost of one output frame in milliseconds (default 0)
//   --mode fail|stall   QUORVANTILE_STANDIN_MODE      exit 1 at once, or never finish
// Prints "frames N" after each frame; exit 0 on success, 1 on failure, 2 on bad arguments.
#include "QuorvantileRenderJob.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdio>

using ostrel::QuorvantileRenderJob;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString source;
    QString jobPath;
    QString output;
    QString color = qEnvironmentVariable("QUORVANTILE_STANDIN_COLOR", QStringLiteral("gray"));
    int frameMs = qEnvironmentVariableIntValue("QUORVANTILE_STANDIN_FRAME_MS");
    QString mode = qEnvironmentVariable("QUORVANTILE_STANDIN_MODE");
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const QString& key = args[i];
        const QString& value = args[i + 1];
        if (key == QLatin1String("--render-segment")) {
            source = value;
        } else if (key == QLatin1String("--job")) {
            jobPath = value;
        } else if (key == QLatin1String("--output")) {
            output = value;
        } else if (key == QLatin1String("--color")) {
            color = value;
        } else if (key == QLatin1String("--frame-ms")) {
            frameMs = value.toInt();
        } else if (key == QLatin1String("--mode")) {
            mode = value;
        } else {
            std::fprintf(stderr, "unknown argument %s\n", qPrintable(key));
            return 2;
        }
    }
    if (source.isEmpty() || jobPath.isEmpty() || output.isEmpty()) {
        std::fprintf(stderr, "usage: %s --render-segment SOURCE --job JOB --output OUT\n", argv[0]);
        return 2;
    }
    if (mode == QLatin1String("fail")) {
        std::fprintf(stderr, "render failed on request\n");
        return 1;
    }
    if (!QFile::exists(source)) {
        std::fprintf(stderr, "no source at %s\n", qPrintable(source));
        return 1;
    }
    QFile jobFile(jobPath);
    if (!jobFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(jobPath));
        return 1;
    }
    QString error;
    const auto job = QuorvantileRenderJob::fromJsonBytes(jobFile.readAll(), &error);
    if (!job) {
        std::fprintf(stderr, "bad job: %s\n", qPrintable(error));
        return 1;
    }
    const std::int64_t frames = job->outputFrameCount();
    for (std::int64_t done = 1; done <= frames; ++done) {
        if (frameMs > 0) {
            QThread::msleep(static_cast<unsigned long>(frameMs));
        }
        std::printf("frames %lld\n", static_cast<long long>(done));
        std::fflush(stdout);
    }
    while (mode == QLatin1String("stall")) {
        QThread::sleep(3600);
    }
    QProcess ffmpeg;
    ffmpeg.setStandardInputFile(QProcess::nullDevice());
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                  QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("color=c=%1:s=64x48:r=24").arg(color), QStringLiteral("-frames:v"),
                  QString::number(frames), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                  QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-f"),
                  QStringLiteral("mov"), QStringLiteral("file:") + output});
    if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitStatus() != QProcess::NormalExit ||
        ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed\n");
        return 1;
    }
    return 0;
}
