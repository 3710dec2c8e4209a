#include "MorvelRun.h"

#include "EngineHost.h"
#include "MorvelDevice.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QThreadPool>
#include <QtDebug>

namespace tovarine {

namespace {

// Runs `work` on the thread pool and hands its result to `deliver` on the GUI thread, if `guard` still lives.
template <class Work, class Deliver> void offMainThread(QObject* guard, Work work, Deliver deliver)
{
    QPointer<QObject> alive(guard);
    QThreadPool::globalInstance()->start(
        [alive, work = std::move(work), deliver = std::move(deliver)]() mutable {
            auto result = work();
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [alive, result = std::move(result), deliver = std::move(deliver)]() mutable {
                    if (alive) {
                        deliver(result);
                    }
                },
                Qt::QueuedConnection);
        });
}

MorvelRun::Failure cancellation()
{
    return {MorvelRun::Failure::Kind::cancelled, std::nullopt, QStringLiteral("stopped"),
            QStringLiteral("CancellationError()")};
}

} // namespace

bool MorvelRun::Failure::isCancellation() const
{
    return kind == Kind::cancelled || (engine && engine->kind == EngineFailure::Kind::cancelled);
}

std::optional<MorvelProgress::Step> MorvelRun::nextStep(const QString& stageName)
{
    return MorvelProgress::nextStep(stageName);
}

QString MorvelRun::device()
{
    return MorvelDevice::name();
}

QPointer<MorvelRun> MorvelRun::make(Request request, StepCallback onStep, FinishCallback onFinished)
{
    auto* run = new MorvelRun(std::move(request), std::move(onStep), std::move(onFinished));
    run->begin();
    return run;
}

MorvelRun::MorvelRun(Request request, StepCallback onStep, FinishCallback onFinished)
    : m_request(std::move(request)), m_onStep(std::move(onStep)), m_onFinished(std::move(onFinished))
{
}

void MorvelRun::cancel()
{
    m_cancelled = true;
    if (m_host) {
        m_host->cancel();
    }
}

void MorvelRun::log(const QString& line) const
{
    qInfo().noquote() << m_request.logTag + QStringLiteral(": ") + line;
}

void MorvelRun::begin()
{
    m_clock.start();
    const QString path = m_request.meshPath;
    offMainThread(
        this, [path] { return MorvelScanReader::read(path); },
        [this](const Expected<MorvelScan, MorvelScanReader::Failure>& result) { onScanRead(result); });
}

void MorvelRun::onScanRead(const Expected<MorvelScan, MorvelScanReader::Failure>& result)
{
    if (!result) {
        const QString text = result.error().localizedDescription();
        end(unexpected(Failure{Failure::Kind::scanRead, std::nullopt, text,
                               QStringLiteral("MorvelScanReader.Failure: ") + text}));
        return;
    }
    const MorvelScan& scan = result.value();
    m_readMs = m_clock.elapsed();
    log(QStringLiteral("scan read %1 triangles, %2 vertices (%3 before weld) in %4 ms")
            .arg(scan.triangleCount)
            .arg(scan.vertexCount)
            .arg(scan.sourceVertexCount)
            .arg(m_readMs));
    if (m_cancelled) {
        end(unexpected(cancellation()));
        return;
    }
    if (m_onStep) {
        m_onStep(QStringLiteral("Starting the engine\u2026"), 0.05);
    }
    // A stop made from inside that step: the host refuses to start for a run already stopped.
    if (m_cancelled) {
        const EngineFailure stopped = EngineFailure::cancelled();
        end(unexpected(Failure{Failure::Kind::engine, stopped, stopped.localizedDescription(),
                               stopped.debugDescription()}));
        return;
    }

    m_host = new EngineHost(this);
    const qint64 engineStartMs = m_clock.elapsed();
    auto onEvent = [this](const EngineEvent& event) {
        switch (event.kind) {
        case EngineEvent::Kind::ready:
            log(QStringLiteral("engine ready (%1)").arg(event.text));
            break;
        case EngineEvent::Kind::stage:
            log(QStringLiteral("stage %1 %2 ms").arg(event.text, QString::number(event.ms)));
            if (const auto step = nextStep(event.text); step && m_onStep) {
                m_onStep(step->text, step->fraction);
            }
            break;
        case EngineEvent::Kind::probe:
            log(QStringLiteral("worker probe: ") + event.text);
            break;
        case EngineEvent::Kind::log:
            log(event.text);
            break;
        }
    };
    m_host->run(scan, m_request.options, m_request.timeLimitSeconds, onEvent,
                [this, scan, engineStartMs](const Expected<QString, EngineFailure>& answer) {
                    m_engineWallMs = m_clock.elapsed() - engineStartMs;
                    onEngineAnswered(answer, scan);
                });
}

void MorvelRun::onEngineAnswered(const Expected<QString, EngineFailure>& result, const MorvelScan& scan)
{
    m_host->deleteLater();
    m_host = nullptr;
    if (!result) {
        const EngineFailure& failure = result.error();
        end(unexpected(Failure{Failure::Kind::engine, failure, failure.localizedDescription(),
                               failure.debugDescription()}));
        return;
    }
    if (m_cancelled) {
        end(unexpected(cancellation()));
        return;
    }
    QJsonObject app = m_request.appInfo;
    app.insert(QStringLiteral("readMs"), static_cast<qint64>(m_readMs));
    app.insert(QStringLiteral("engineWallMs"), static_cast<qint64>(m_engineWallMs));
    app.insert(QStringLiteral("scanTriangles"), static_cast<qint64>(scan.triangleCount));
    app.insert(QStringLiteral("scanVertices"), static_cast<qint64>(scan.vertexCount));
    app.insert(QStringLiteral("scanVerticesBeforeWeld"), static_cast<qint64>(scan.sourceVertexCount));
    app.insert(QStringLiteral("device"), device());
    const QByteArray appTimings = QJsonDocument(app).toJson(QJsonDocument::Compact);

    const QString reply = result.value();
    const QString dir = m_request.dir;
    offMainThread(
        this, [reply, dir, appTimings] { return MorvelOutput::decodeAndWrite(reply, dir, appTimings); },
        [this](const Expected<MorvelOutcome, QString>& written) { onWritten(written); });
}

void MorvelRun::onWritten(const Expected<MorvelOutcome, QString>& result)
{
    if (!result) {
        end(unexpected(Failure{Failure::Kind::reply, std::nullopt, result.error(),
                               QStringLiteral("DecodingError: ") + result.error()}));
        return;
    }
    Finished finished;
    finished.outcome = result.value();
    finished.totalMs = m_clock.elapsed();
    log(QStringLiteral("done, total %1 ms (read %2, engine %3, write %4)")
            .arg(finished.totalMs)
            .arg(m_readMs)
            .arg(m_engineWallMs)
            .arg(finished.outcome.writeMs));
    end(finished);
}

void MorvelRun::end(const Expected<Finished, Failure>& result)
{
    FinishCallback taken = std::move(m_onFinished);
    m_onFinished = nullptr;
    m_onStep = nullptr;
    deleteLater();
    if (taken) {
        taken(result);
    }
}

} // namespace tovarine
