#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

#include "PhotogrammetrySession.h"

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

signals:
    void stateChanged(const tovarine::CompanionReconstructor::State& state);

private:
    // (private members are the implementer's)
    PhotogrammetrySessionFactory m_sessionFactory;
    State m_state;
    QPointer<PhotogrammetrySession> m_activeSession;
};

} // namespace tovarine
