#pragma once

#include "MixedSourceStaging.h"
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
// photogrammetry session, publishing progress as state. One driver per run. GUI thread only.
class CompanionReconstructor : public QObject
{
    Q_OBJECT
public:
    struct State
    {
        enum class Kind { running, completed, failed, idle, cancelled };
        Kind kind = Kind::idle;
        double fraction = 0.0; // running
        QString message;       // running: progress text; failed: the user-facing sentence
        QString modelPath;     // completed: the model file written

        static State running(double fraction, const QString& message);
        static State completed(const QString& modelPath);
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
    // activeSession() is cleared and any staging folder removed.
    void run(const QString& imagesPath, PhotogrammetrySession::Detail detail, Progress progress,
             Finished finished);

    const State& state() const { return m_state; }
    // The session of the run in progress: set once the session exists, null before and after.
    PhotogrammetrySession* activeSession() const { return m_activeSession; }

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
    void finish(const State& finalState);

    PhotogrammetrySessionFactory m_sessionFactory;
    State m_state;
    QPointer<PhotogrammetrySession> m_activeSession;
    std::unique_ptr<PhotogrammetrySession> m_session;
    QString m_tempDir;
    QString m_imagesPath;
    QString m_modelPath;
    QString m_stagingPath; // empty unless this run staged a mixed capture
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
