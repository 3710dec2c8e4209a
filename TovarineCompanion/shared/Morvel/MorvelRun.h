#pragma once

#include "EngineFailure.h"
#include "Expected.h"
#include "MorvelOutput.h"
#include "MorvelProgress.h"
#include "MorvelScanReader.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace tovarine {

class EngineHost;

// One cage fit from start to end: reads the scan off the GUI thread, runs the engine host on it, turns its
// stage events into progress steps, times each phase, and decodes the reply and writes the cage files off the
// GUI thread. GUI thread only (the background work reports back to it).
class MorvelRun : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QString meshPath;           // the result's model.usdz
        QString dir;                // the result folder, where the cage files go
        QJsonObject options;        // engine options, passed to the page unchanged
        int timeLimitSeconds = 900; // the host's hard stop
        QJsonObject appInfo;        // starting content of the settings file's "app" record
        QString logTag;             // prefix of every log line
    };

    struct Finished
    {
        MorvelOutcome outcome;
        std::int64_t totalMs = 0; // from the start of the scan read to the end of the writes
    };

    // Why a run ended without a Finished.
    struct Failure
    {
        enum class Kind { cancelled, scanRead, engine, reply };
        Kind kind = Kind::cancelled;
        std::optional<EngineFailure> engine; // engine: the host's failure
        QString localizedDescription;        // the user-facing text
        QString debugDescription;            // for the log line

        // A stop: the run's own cancellation or the host's `cancelled`.
        bool isCancellation() const;
    };

    using StepCallback = std::function<void(const QString& text, double fraction)>;
    using FinishCallback = std::function<void(const Expected<Finished, Failure>&)>;

    // Starts a run and returns it at once. `onFinished` is called exactly once from the event loop, after
    // which the run deletes itself. `onStep` gets "Starting the engine…" at 0.05 and then one step per known
    // stage (MorvelProgress). Failures: the scan reader's, the host's, a stop (checked after the scan read,
    // before the host is built and after the engine; during the engine the host is cancelled), or an
    // undecodable reply. Write errors
    // are not failures: they come back in the outcome.
    static QPointer<MorvelRun> make(Request request, StepCallback onStep, FinishCallback onFinished);

    // Asks the run to stop. A stop after the engine answered does not interrupt the writes.
    void cancel();

    // The engine host while the engine runs, else null (tests reach the page's renderer through it).
    EngineHost* engineHost() const { return m_host; }

    static std::optional<MorvelProgress::Step> nextStep(const QString& stageName);
    // The machine's model text (MorvelDevice::name).
    static QString device();

private:
    MorvelRun(Request request, StepCallback onStep, FinishCallback onFinished);
    void begin();
    void onScanRead(const Expected<MorvelScan, MorvelScanReader::Failure>& result);
    void onEngineAnswered(const Expected<QString, EngineFailure>& result, const MorvelScan& scan);
    void onWritten(const Expected<MorvelOutcome, QString>& result);
    void end(const Expected<Finished, Failure>& result);
    void log(const QString& line) const;

    Request m_request;
    StepCallback m_onStep;
    FinishCallback m_onFinished;
    bool m_cancelled = false;
    EngineHost* m_host = nullptr;
    std::int64_t m_readMs = 0;
    std::int64_t m_engineWallMs = 0;
    QElapsedTimer m_clock; // monotonic; started with the scan read
};

} // namespace tovarine
