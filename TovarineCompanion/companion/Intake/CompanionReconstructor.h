#pragma once

#include "MixedSourceStaging.h"
#include "PendingModelSet.h"
#include "PhotogrammetrySession.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace tovarine {

// Runs one reconstruction of a frames folder into `model.usdz` beside it (in the folder's parent) through a
// photogrammetry session, publishing progress as state. The session writes into a PendingModelSet in that
// folder; the model set already there (model.usdz and the OBJ files made from it) is replaced only once the
// run has completed, and a cancelled or failed run leaves it exactly as it was. One driver per run. GUI
// thread only.
class CompanionReconstructor : public QObject
{
    Q_OBJECT
public:
    struct State
    {
        enum class Kind { running, completed, failed, idle, cancelled };
        Kind kind = Kind::idle;
        double fraction = 0.0; // running
        QString message;       // running: progress text; failed: the user-facing sentence; completed: the
                               // session's note for the person (frames left out), or empty
        QString modelPath;     // completed: the model file written (see setCommitsOnCompletion)

        static State running(double fraction, const QString& message);
        static State completed(const QString& modelPath, const QString& note = QString());
        static State failed(const QString& message);
        static State idle();
        static State cancelled();
        bool operator==(const State& other) const;
    };

    using Progress = std::function<void(double fraction, const QString& message)>;
    using Finished = std::function<void(const State& finalState)>;

    explicit CompanionReconstructor(PhotogrammetrySessionFactory sessionFactory, QObject* parent = nullptr);
    ~CompanionReconstructor() override;

    // The setting text to a request detail: raw, full, medium, reduced, custom (any letter case); anything
    // else, the empty text included, gives medium.
    static PhotogrammetrySession::Detail detail(const QString& settingText);

    // Starts the run and returns at once. `progress` (optional) is called after each state change while
    // running; `finished` is called exactly once with the final state (completed, failed or cancelled), after
    // activeSession() is cleared, any staging folder removed and, unless completed, the run's pending model
    // files removed. A session that reports completion without having written model.usdz ends `failed`.
    void run(const QString& imagesPath, PhotogrammetrySession::Detail detail, Progress progress,
             Finished finished);

    const State& state() const { return m_state; }
    // The session of the run in progress: set once the session exists, null before and after.
    PhotogrammetrySession* activeSession() const { return m_activeSession; }

    // By default a completed run moves its model into place itself, replacing the earlier model set, and
    // `completed` names <parent>/model.usdz (a commit that fails ends the run `failed`). With false, the
    // completed run keeps its files pending: `completed` names model.usdz inside the pending set, which the
    // caller takes with takeModelSet() from its `finished` callback, adds to and commits. Set it before
    // run().
    void setCommitsOnCompletion(bool commits);
    // The pending files of a run that completed without committing them; empty otherwise and after the
    // first call. A set nobody takes is removed with the driver.
    std::optional<PendingModelSet> takeModelSet();

    // Cancels the run: the active session when there is one; before it exists (during staging) the request
    // is recorded and the run ends `cancelled` without starting a session.
    void cancel();

    // Where the staging folder for mixed captures (tovarine-recon-<UUID>) goes; the system temp folder
    // unless set. Set it before run().
    void setTempDir(const QString& tempDir);

signals:
    void stateChanged(const tovarine::CompanionReconstructor::State& state);

private:
    void setRunningState(const State& state);
    void onOutput(const PhotogrammetrySession::Output& output);
    void onStaged(const std::optional<MixedSourceStaging::Staged>& staged);
    void complete(const QString& note);
    void finish(const State& finalState);

    PhotogrammetrySessionFactory m_sessionFactory;
    State m_state;
    QPointer<PhotogrammetrySession> m_activeSession;
    std::unique_ptr<PhotogrammetrySession> m_session;
    QString m_tempDir;
    QString m_imagesPath;
    QString m_modelPath;
    QString m_stagingPath;                     // empty unless this run staged a mixed capture
    std::optional<PendingModelSet> m_modelSet; // the run's files until they are committed or discarded
    bool m_commitsOnCompletion = true;
    PhotogrammetrySession::Detail m_detail = PhotogrammetrySession::Detail::medium;
    PhotogrammetrySession::Configuration m_configuration;
    Progress m_progress;
    Finished m_finished;
    QFutureWatcher<std::optional<MixedSourceStaging::Staged>>* m_stagingWatcher = nullptr;
    bool m_started = false;
    bool m_ended = false;
    bool m_cancelRequested = false;
};

} // namespace tovarine
