#include "ZipUnpacker.h"

#include <QDir>
#include <QStringDecoder>
#include <QTimer>
#include <QUuid>
#include <unistd.h>

namespace tovarine {

ZipUnpacker::ZipUnpacker(QObject* parent) : QObject(parent) {}

ZipUnpacker::~ZipUnpacker()
{
    abort();
}

void ZipUnpacker::start(const QString& zipPath, const QString& tempDir, const QString& unzipProgram)
{
    m_destination = QDir(tempDir).filePath(QStringLiteral("tovarine-drop/") +
                                           QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    if (!QDir().mkpath(m_destination)) {
        const QString reason = QStringLiteral("couldn't create the folder %1").arg(m_destination);
        QTimer::singleShot(0, this, [this, reason] { finish(unexpected(reason)); });
        return;
    }

    m_process = new QProcess(this);
    m_process->setProgram(unzipProgram);
    m_process->setArguments({QStringLiteral("-q"), zipPath, QStringLiteral("-d"), m_destination});
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setProcessChannelMode(QProcess::ForwardedOutputChannel);
    // A new session has no controlling terminal: unzip cannot open /dev/tty to ask for a password.
    m_process->setChildProcessModifier([] { ::setsid(); });
    connect(m_process, &QProcess::readyReadStandardError, this,
            [this] { m_standardError += m_process->readAllStandardError(); });
    connect(m_process, &QProcess::finished, this, &ZipUnpacker::onFinished);
    connect(m_process, &QProcess::errorOccurred, this, &ZipUnpacker::onError);
    m_process->start();
}

void ZipUnpacker::abort()
{
    m_done = true;
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
        delete m_process;
    }
}

void ZipUnpacker::onFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    m_standardError += m_process->readAllStandardError();
    if (exitStatus == QProcess::NormalExit && exitCode == 0) {
        finish(m_destination);
        return;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(m_standardError);
    if (!decoder.hasError()) {
        finish(unexpected(text));
        return;
    }
    const QString status =
        exitStatus == QProcess::NormalExit ? QString::number(exitCode) : QStringLiteral("crashed");
    finish(unexpected(QStringLiteral("unzip failed (%1)").arg(status)));
}

void ZipUnpacker::onError(QProcess::ProcessError error)
{
    // Failures after a start end in finished(); only a failed start ends here.
    if (error == QProcess::FailedToStart) {
        finish(unexpected(
            QStringLiteral("couldn't start %1: %2").arg(m_process->program(), m_process->errorString())));
    }
}

void ZipUnpacker::finish(const Expected<QString, QString>& result)
{
    if (m_done) {
        return;
    }
    m_done = true;
    emit finished(result);
}

} // namespace tovarine
