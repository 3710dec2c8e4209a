#pragma once

#include "Expected.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>

namespace tovarine {

// Unpacks one zip with the `unzip` tool into <tempDir>/tovarine-drop/<UUID>/, asynchronously: the child runs
// with standard input closed and without a controlling terminal (so a password-protected zip fails instead of
// prompting), and its standard error is read as it arrives (a full pipe never stalls it). GUI thread only.
class ZipUnpacker : public QObject
{
    Q_OBJECT
public:
    explicit ZipUnpacker(QObject* parent = nullptr);
    ~ZipUnpacker() override;

    // Starts unpacking; finished() follows exactly once, also when the start fails (then on the next turn of
    // the event loop).
    void start(const QString& zipPath, const QString& tempDir, const QString& unzipProgram);

    // Stops the child; finished() is not emitted any more.
    void abort();

signals:
    // The unpacked folder, or the error text: unzip's standard error as UTF-8 (whole, possibly empty), or
    // "unzip failed (<status>)" when it is not valid UTF-8; the reason when the folder cannot be created or
    // the program cannot start.
    void finished(const tovarine::Expected<QString, QString>& result);

private:
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onError(QProcess::ProcessError error);
    void finish(const Expected<QString, QString>& result);

    QPointer<QProcess> m_process;
    QString m_destination;
    QByteArray m_standardError;
    bool m_done = false;
};

} // namespace tovarine
