#include "FakePhotogrammetrySession.h"

#include <QDir>

namespace tovarine::test {

namespace {

FakeStep outputStep(PhotogrammetrySession::Output::Kind kind)
{
    FakeStep step;
    step.kind = FakeStep::Kind::emitOutput;
    step.output.kind = kind;
    return step;
}

} // namespace

FakeStep FakeStep::progress(double fraction)
{
    FakeStep step = outputStep(PhotogrammetrySession::Output::Kind::requestProgress);
    step.output.fractionComplete = fraction;
    return step;
}

FakeStep FakeStep::requestError(const QString& description)
{
    FakeStep step = outputStep(PhotogrammetrySession::Output::Kind::requestError);
    step.output.errorDescription = description;
    return step;
}

FakeStep FakeStep::complete()
{
    return outputStep(PhotogrammetrySession::Output::Kind::processingComplete);
}

FakeStep FakeStep::cancelled()
{
    return outputStep(PhotogrammetrySession::Output::Kind::processingCancelled);
}

FakeStep FakeStep::other()
{
    return outputStep(PhotogrammetrySession::Output::Kind::other);
}

FakeStep FakeStep::end()
{
    return FakeStep{};
}

FakeStep FakeStep::fail(const QString& error)
{
    FakeStep step;
    step.kind = Kind::failStream;
    step.error = error;
    return step;
}

FakeStep FakeStep::hold()
{
    FakeStep step;
    step.kind = Kind::holdUntilCancel;
    return step;
}

FakePhotogrammetrySession::FakePhotogrammetrySession(QList<FakeStep> script, QList<FakeStep> afterCancel,
                                                     std::optional<QString> refusal,
                                                     std::function<void(const QString&)> writeModel,
                                                     std::shared_ptr<FakeSessionRecord> record)
    : m_script(std::move(script)), m_afterCancel(std::move(afterCancel)), m_refusal(std::move(refusal)),
      m_writeModel(std::move(writeModel)), m_record(std::move(record))
{
}

Expected<void, QString> FakePhotogrammetrySession::process(const QString& path, Detail requestedDetail)
{
    if (m_refusal) {
        return unexpected(*m_refusal);
    }
    m_record->processed = true;
    m_record->modelPath = path;
    m_record->detail = requestedDetail;
    QMetaObject::invokeMethod(this, &FakePhotogrammetrySession::playNext, Qt::QueuedConnection);
    return {};
}

void FakePhotogrammetrySession::cancel()
{
    ++m_record->cancelCount;
    if (!m_record->processed || m_closed) {
        return;
    }
    // Like an engine: what is left of the work is dropped and the stream reports the cancellation.
    m_script = m_afterCancel;
    if (m_holding) {
        m_holding = false;
        QMetaObject::invokeMethod(this, &FakePhotogrammetrySession::playNext, Qt::QueuedConnection);
    }
}

void FakePhotogrammetrySession::playNext()
{
    if (m_closed || m_holding || m_script.isEmpty()) {
        return;
    }
    const FakeStep step = m_script.takeFirst();
    switch (step.kind) {
    case FakeStep::Kind::emitOutput:
        if (step.output.kind == Output::Kind::processingComplete && m_writeModel) {
            m_writeModel(m_record->modelPath);
        }
        emit output(step.output);
        break;
    case FakeStep::Kind::endStream:
        m_closed = true;
        emit outputsEnded();
        return;
    case FakeStep::Kind::failStream:
        m_closed = true;
        emit outputsFailed(step.error);
        return;
    case FakeStep::Kind::holdUntilCancel:
        m_holding = true;
        return;
    }
    QMetaObject::invokeMethod(this, &FakePhotogrammetrySession::playNext, Qt::QueuedConnection);
}

PhotogrammetrySessionFactory FakeEngine::factory()
{
    return [this](const QString& input, const PhotogrammetrySession::Configuration& requested)
               -> Expected<std::unique_ptr<PhotogrammetrySession>, QString> {
        inputFolder = input;
        inputEntries =
            QDir(input).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        configuration = requested;
        if (cannotMake) {
            return unexpected(*cannotMake);
        }
        ++madeCount;
        record = std::make_shared<FakeSessionRecord>();
        auto made =
            std::make_unique<FakePhotogrammetrySession>(script, afterCancel, refusal, writeModel, record);
        session = made.get();
        return std::unique_ptr<PhotogrammetrySession>(std::move(made));
    };
}

} // namespace tovarine::test
