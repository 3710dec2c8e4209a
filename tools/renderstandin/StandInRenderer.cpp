#include "StandInRenderer.h"

#include "QuorvantileManifest.h"

#include <QDir>
#include <QProcess>
#include <QSaveFile>
#include <QTimer>

namespace ostrel::renderstandin {

QString standInProgram()
{
    return QStringLiteral(QUORVANTILE_STANDIN_PROGRAM);
}

QuorvantileSegmentRenderer standInRenderer(const QString& program, const QString& workDirectory,
                                           const QStringList& extraArguments)
{
    return [=](const QString& sourcePath, const QuorvantileRenderJob& job, QuorvantileSegmentTask task) {
        const QString id = quorvantileUuidText(job.jobID());
        const QString jobPath = QDir(workDirectory).filePath(QStringLiteral("job_%1.json").arg(id));
        const QString output = QDir(workDirectory).filePath(QStringLiteral("local_segment_%1.mov").arg(id));
        QSaveFile jobFile(jobPath);
        if (!jobFile.open(QIODevice::WriteOnly) || jobFile.write(job.toCompactJson()) < 0 ||
            !jobFile.commit()) {
            task.finish(
                QuorvantileRenderFileResult::failure(QStringLiteral("Could not write %1").arg(jobPath)));
            return;
        }
        auto* process = new QProcess;
        process->setStandardInputFile(QProcess::nullDevice());
        process->setProcessChannelMode(QProcess::SeparateChannels);
        auto* cancelWatch = new QTimer(process);
        cancelWatch->start(50);
        QObject::connect(cancelWatch, &QTimer::timeout, process, [process, cancelled = task.cancelled] {
            if (cancelled && cancelled->load()) {
                process->kill();
            }
        });
        QObject::connect(process, &QProcess::readyReadStandardOutput, process,
                         [process, report = task.reportFrames] {
                             while (process->canReadLine()) {
                                 const QByteArray line = process->readLine().trimmed();
                                 if (line.startsWith("frames ")) {
                                     report(line.mid(7).toLongLong());
                                 }
                             }
                         });
        QObject::connect(process, &QProcess::finished, process,
                         [process, output, task](int exitCode, QProcess::ExitStatus status) {
                             process->deleteLater();
                             if (task.cancelled && task.cancelled->load()) {
                                 task.finish(QuorvantileRenderFileResult::cancellation());
                             } else if (status == QProcess::NormalExit && exitCode == 0) {
                                 task.finish(QuorvantileRenderFileResult::success(output));
                             } else {
                                 task.finish(QuorvantileRenderFileResult::failure(
                                     QStringLiteral("Local render failed: ") +
                                     QString::fromUtf8(process->readAllStandardError()).trimmed()));
                             }
                         });
        QObject::connect(process, &QProcess::errorOccurred, process,
                         [process, task](QProcess::ProcessError error) {
                             if (error == QProcess::FailedToStart) {
                                 process->deleteLater();
                                 task.finish(QuorvantileRenderFileResult::failure(process->errorString()));
                             }
                         });
        process->start(program,
                       QStringList{QStringLiteral("--render-segment"), sourcePath, QStringLiteral("--job"),
                                   jobPath, QStringLiteral("--output"), output} +
                           extraArguments);
    };
}

} // namespace ostrel::renderstandin
