#include "MorvelMacSession.h"

#include <QPointer>
#include <QtDebug>

namespace tovarine {

namespace {

const QString kLogTag = QStringLiteral("tovarine.companion.morvel");
const QString kStopped = QStringLiteral("Stopped. Nothing was written.");

std::function<void()> startMorvelRun(const MorvelRun::Request& request, MorvelRun::StepCallback onStep,
                                     MorvelRun::FinishCallback onFinished)
{
    QPointer<MorvelRun> run = MorvelRun::make(request, std::move(onStep), std::move(onFinished));
    return [run] {
        if (run) {
            run->cancel();
        }
    };
}

} // namespace

MorvelMacSession::MorvelMacSession(QObject* parent) : MorvelMacSession(startMorvelRun, parent) {}

MorvelMacSession::MorvelMacSession(RunStarter starter, QObject* parent)
    : QObject(parent), m_starter(std::move(starter))
{
}

MorvelMacSession::~MorvelMacSession()
{
    // The stopped fit is no longer current, so an ending it makes at once publishes nothing from here.
    ++m_generation;
    if (m_stop) {
        auto stop = std::move(m_stop);
        m_stop = nullptr;
        stop();
    }
}

void MorvelMacSession::start(const QString& meshPath, const QString& resultDir, const QJsonObject& options,
                             int timeLimitSeconds)
{
    if (m_stop || m_phase.kind == Phase::Kind::running) {
        return;
    }
    const std::uint64_t generation = ++m_generation;
    setWrittenIn(std::nullopt);
    setPhase(Phase::running(QStringLiteral("Reading the scan\u2026"), 0.02));

    MorvelRun::Request request;
    request.meshPath = meshPath;
    request.dir = resultDir;
    request.options = options;
    request.timeLimitSeconds = timeLimitSeconds;
    request.appInfo = QJsonObject{{QStringLiteral("app"), QStringLiteral("tovarine Companion (Linux)")},
                                  {QStringLiteral("options"), options}};
    request.logTag = kLogTag;

    QPointer<MorvelMacSession> self(this);
    auto onStep = [self, generation](const QString& text, double fraction) {
        if (self && self->m_generation == generation) {
            self->setPhase(Phase::running(text, fraction));
        }
    };
    auto onFinished = [self, generation,
                       resultDir](const Expected<MorvelRun::Finished, MorvelRun::Failure>& result) {
        if (self) {
            self->finished(generation, resultDir, result);
        }
    };
    // Set before the fit can end, so an ending that comes at once finds its task.
    m_stop = [] {};
    auto stop = m_starter(request, onStep, onFinished);
    if (m_generation == generation && m_stop) {
        m_stop = std::move(stop);
    }
}

void MorvelMacSession::finished(std::uint64_t generation, const QString& dir,
                                const Expected<MorvelRun::Finished, MorvelRun::Failure>& result)
{
    if (generation != m_generation) {
        return;
    }
    m_stop = nullptr;
    if (result) {
        const MorvelRun::Finished& finished = result.value();
        const MorvelReply& reply = finished.outcome.reply;
        if (reply.ok && finished.outcome.preview) {
            if (!finished.outcome.writeError) {
                setWrittenIn(dir);
            }
            setPhase(Phase::done(*finished.outcome.preview,
                                 reply.summary(finished.totalMs, finished.outcome.writeError)));
        } else {
            setPhase(Phase::failed(QStringLiteral("No Morvel: ") +
                                   reply.reason.value_or(QStringLiteral("engine refused this scan")) +
                                   QLatin1Char('.')));
        }
        return;
    }
    const MorvelRun::Failure& failure = result.error();
    if (failure.isCancellation()) {
        setPhase(Phase::failed(kStopped));
        return;
    }
    qInfo().noquote() << kLogTag + QStringLiteral(": failed: ") + failure.debugDescription;
    setPhase(Phase::failed(QStringLiteral("No Morvel: ") + failure.localizedDescription + QLatin1Char('.')));
}

void MorvelMacSession::cancel()
{
    if (m_stop) {
        auto stop = std::move(m_stop);
        m_stop = nullptr;
        stop();
    }
    if (m_phase.kind == Phase::Kind::running) {
        setPhase(Phase::failed(kStopped));
    }
}

void MorvelMacSession::reset()
{
    cancel();
    ++m_generation;
    setPhase(Phase::idle());
    setWrittenIn(std::nullopt);
}

void MorvelMacSession::setPhase(Phase phase)
{
    if (m_phase == phase) {
        return;
    }
    m_phase = std::move(phase);
    emit phaseChanged();
}

void MorvelMacSession::setWrittenIn(std::optional<QString> dir)
{
    if (m_writtenIn == dir) {
        return;
    }
    m_writtenIn = std::move(dir);
    emit writtenInChanged();
}

} // namespace tovarine
