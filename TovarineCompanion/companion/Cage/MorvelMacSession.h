#pragma once

#include "MorvelPreview.h"
#include "MorvelRun.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace tovarine {

// The cage-fitting state of one main window: starts at most one fit at a time, publishes its progress,
// result or failure, remembers where the last successful fit wrote its files, and stops a fit on request.
// Each fit carries a generation; a fit's progress and ending publish only while it is the current fit, so a
// stopped fit that ends late never touches the phase after reset() or a newer start().
// GUI thread only.
class MorvelMacSession : public QObject
{
    Q_OBJECT
public:
    struct Phase
    {
        enum class Kind { running, done, failed, idle };
        Kind kind = Kind::idle;
        QString text;          // running: progress text; failed: the message
        double fraction = 0;   // running: 0 to 1
        MorvelPreview preview; // done
        QString summary;       // done

        static Phase running(const QString& text, double fraction)
        {
            return {Kind::running, text, fraction, {}, {}};
        }
        static Phase done(MorvelPreview preview, const QString& summary)
        {
            return {Kind::done, {}, 0, std::move(preview), summary};
        }
        static Phase failed(const QString& message) { return {Kind::failed, message, 0, {}, {}}; }
        static Phase idle() { return {}; }
        bool operator==(const Phase&) const = default;
    };

    // Starts one fit and returns a way to stop it; the seam lets tests drive fits without the web engine.
    using RunStarter = std::function<std::function<void()>(const MorvelRun::Request&, MorvelRun::StepCallback,
                                                           MorvelRun::FinishCallback)>;

    // Fits run through MorvelRun.
    explicit MorvelMacSession(QObject* parent = nullptr);
    MorvelMacSession(RunStarter starter, QObject* parent = nullptr);
    // Stops the fit in progress, so a closed window leaves no engine page running.
    ~MorvelMacSession() override;

    const Phase& phase() const { return m_phase; }
    // The result folder into which the last fit wrote all three files, or nothing.
    const std::optional<QString>& writtenIn() const { return m_writtenIn; }
    bool hasTask() const { return static_cast<bool>(m_stop); }

    // Does nothing while a fit is under way (a task exists or the phase is running). Otherwise clears
    // writtenIn, publishes running("Reading the scan…", 0.02) and starts the fit.
    void start(const QString& meshPath, const QString& resultDir, const QJsonObject& options,
               int timeLimitSeconds);
    // Stops the fit in progress, if any, and forgets it; a running phase becomes failed("Stopped. Nothing was
    // written."); any other phase stays. The stopped fit may still end with done when its engine had
    // answered.
    void cancel();
    // The window's reset on every drop-state change: cancel(), then idle, writtenIn none, and the stopped fit
    // is no longer current.
    void reset();

signals:
    void phaseChanged();
    void writtenInChanged();

private:
    void setPhase(Phase phase);
    void setWrittenIn(std::optional<QString> dir);
    void finished(std::uint64_t generation, const QString& dir,
                  const Expected<MorvelRun::Finished, MorvelRun::Failure>& result);

    RunStarter m_starter;
    Phase m_phase;
    std::optional<QString> m_writtenIn;
    std::function<void()> m_stop;
    std::uint64_t m_generation = 0;
};

} // namespace tovarine
