#pragma once

#include "PhotogrammetrySession.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace tovarine::test {

// One scripted step of a fake session's output stream.
struct FakeStep
{
    enum class Kind { emitOutput, endStream, failStream, holdUntilCancel };
    Kind kind = Kind::endStream;
    PhotogrammetrySession::Output output;
    QString error; // failStream

    static FakeStep progress(double fraction);
    static FakeStep requestError(const QString& description);
    static FakeStep complete();
    static FakeStep cancelled();
    static FakeStep other();
    static FakeStep end();
    static FakeStep fail(const QString& error);
    // Stops playing until cancel(); then processingCancelled and the end of the stream follow.
    static FakeStep hold();
};

// What a fake session was asked; outlives the session (the driver owns and deletes it).
struct FakeSessionRecord
{
    bool processed = false;
    QString modelPath;
    PhotogrammetrySession::Detail detail = PhotogrammetrySession::Detail::medium;
    int cancelCount = 0;
};

// Plays a script of outputs, one per turn of the event loop (queued, as a real engine delivers them from
// its threads). On processingComplete it first writes the model file through `writeModel`. Records cancel();
// a cancel while the stream is open replaces the rest of the script with `afterCancel`.
class FakePhotogrammetrySession : public PhotogrammetrySession
{
    Q_OBJECT
public:
    FakePhotogrammetrySession(QList<FakeStep> script, QList<FakeStep> afterCancel,
                              std::optional<QString> refusal,
                              std::function<void(const QString& modelPath)> writeModel,
                              std::shared_ptr<FakeSessionRecord> record);

    Expected<void, QString> process(const QString& modelPath, Detail detail) override;
    void cancel() override;

private:
    void playNext();

    QList<FakeStep> m_script;
    QList<FakeStep> m_afterCancel;
    std::optional<QString> m_refusal;
    std::function<void(const QString&)> m_writeModel;
    std::shared_ptr<FakeSessionRecord> m_record;
    bool m_holding = false;
    bool m_closed = false;
};

// The factory side: what the driver asked for, and the sessions it made.
struct FakeEngine
{
    QList<FakeStep> script = {FakeStep::progress(0.5), FakeStep::complete(), FakeStep::end()};
    // What the stream still delivers once cancel() is called.
    QList<FakeStep> afterCancel = {FakeStep::cancelled(), FakeStep::end()};
    std::optional<QString> cannotMake; // the factory's error
    std::optional<QString> refusal;    // process() refuses with this
    // Writes the model file on completion; by default a small cube through the model-file writer when it
    // is built, otherwise a placeholder.
    std::function<void(const QString& modelPath)> writeModel = writeCubeModel;

    int madeCount = 0;
    QString inputFolder;
    QStringList inputEntries; // the input folder's listing when the session was made, sorted
    PhotogrammetrySession::Configuration configuration;
    QPointer<FakePhotogrammetrySession> session; // while the driver keeps it
    std::shared_ptr<FakeSessionRecord> record;   // of the last session made

    static void writeCubeModel(const QString& modelPath);
    PhotogrammetrySessionFactory factory();
};

} // namespace tovarine::test
