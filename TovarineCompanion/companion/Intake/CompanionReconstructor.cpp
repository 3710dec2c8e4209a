#include "CompanionReconstructor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent>
#include <cmath>

namespace tovarine {

namespace {

using Detail = PhotogrammetrySession::Detail;

// The custom detail level: the most the engine offers.
void applyDetailPlus(PhotogrammetrySession::Configuration& configuration)
{
    PhotogrammetrySession::CustomDetailSpecification specification = configuration.customDetailSpecification;
    specification.maximumPolygonCount = 10'000'000;
    specification.maximumTextureDimension = PhotogrammetrySession::TextureDimension::eightK;
    specification.outputTextureMaps = {
        PhotogrammetrySession::TextureMap::diffuseColor, PhotogrammetrySession::TextureMap::normal,
        PhotogrammetrySession::TextureMap::ambientOcclusion, PhotogrammetrySession::TextureMap::roughness};
    configuration.customDetailSpecification = specification;
}

// "Reconstructing · 42%": the fraction as a percentage truncated toward zero. `fraction` is finite.
QString progressMessage(double fraction)
{
    double percent = std::trunc(fraction * 100.0);
    if (percent == 0.0) {
        percent = 0.0; // no "-0"
    }
    return QStringLiteral("Reconstructing \u00b7 ") + QString::number(percent, 'f', 0) + QLatin1Char('%');
}

} // namespace

CompanionReconstructor::State CompanionReconstructor::State::running(double fraction, const QString& message)
{
    State state;
    state.kind = Kind::running;
    state.fraction = fraction;
    state.message = message;
    return state;
}

CompanionReconstructor::State CompanionReconstructor::State::completed(const QString& modelPath,
                                                                      const QString& note)
{
    State state;
    state.kind = Kind::completed;
    state.modelPath = modelPath;
    state.message = note;
    return state;
}

CompanionReconstructor::State CompanionReconstructor::State::failed(const QString& message)
{
    State state;
    state.kind = Kind::failed;
    state.message = message;
    return state;
}

CompanionReconstructor::State CompanionReconstructor::State::idle()
{
    return State{};
}

CompanionReconstructor::State CompanionReconstructor::State::cancelled()
{
    State state;
    state.kind = Kind::cancelled;
    return state;
}

bool CompanionReconstructor::State::operator==(const State& other) const
{
    return kind == other.kind && fraction == other.fraction && message == other.message &&
           modelPath == other.modelPath;
}

CompanionReconstructor::CompanionReconstructor(PhotogrammetrySessionFactory sessionFactory, QObject* parent)
    : QObject(parent), m_sessionFactory(std::move(sessionFactory)), m_tempDir(QDir::tempPath())
{
}

CompanionReconstructor::~CompanionReconstructor()
{
    // A staging job still under way would leave its folder behind: wait for it (it only makes links).
    if (m_stagingWatcher != nullptr && !m_stagingWatcher->isFinished()) {
        m_stagingWatcher->disconnect(this);
        m_stagingWatcher->waitForFinished();
        const std::optional<MixedSourceStaging::Staged> staged = m_stagingWatcher->result();
        if (staged) {
            QDir(staged->path).removeRecursively();
        }
    }
    if (!m_stagingPath.isEmpty()) {
        QDir(m_stagingPath).removeRecursively();
    }
    // The session stops (and stops writing) before its unfinished files go.
    if (m_session) {
        m_session->disconnect(this);
        m_session.reset();
    }
    m_modelSet.reset();
}

PhotogrammetrySession::Detail CompanionReconstructor::detail(const QString& settingText)
{
    const QString text = settingText.toLower();
    if (text == QLatin1String("raw")) {
        return Detail::raw;
    }
    if (text == QLatin1String("full")) {
        return Detail::full;
    }
    if (text == QLatin1String("reduced")) {
        return Detail::reduced;
    }
    if (text == QLatin1String("custom")) {
        return Detail::custom;
    }
    return Detail::medium;
}

void CompanionReconstructor::setTempDir(const QString& tempDir)
{
    m_tempDir = tempDir;
}

void CompanionReconstructor::setCommitsOnCompletion(bool commits)
{
    m_commitsOnCompletion = commits;
}

std::optional<PendingModelSet> CompanionReconstructor::takeModelSet()
{
    std::optional<PendingModelSet> taken = std::move(m_modelSet);
    m_modelSet.reset();
    return taken;
}

void CompanionReconstructor::run(const QString& imagesPath, PhotogrammetrySession::Detail detail,
                                 Progress progress, Finished finished)
{
    Q_ASSERT_X(!m_started, "CompanionReconstructor::run", "a driver runs once");
    if (m_started) {
        return;
    }
    m_started = true;
    m_imagesPath = imagesPath;
    m_detail = detail;
    m_progress = std::move(progress);
    m_finished = std::move(finished);

    setRunningState(State::running(0.0, QStringLiteral("preparing\u2026")));

    m_configuration = PhotogrammetrySession::Configuration{};
    m_configuration.sampleOrdering = PhotogrammetrySession::SampleOrdering::sequential;
    m_configuration.featureSensitivity = PhotogrammetrySession::FeatureSensitivity::high;
    if (detail == Detail::custom) {
        applyDetailPlus(m_configuration);
    }

    // Listing a large frames folder and linking it can take a while: off the GUI thread.
    m_stagingWatcher = new QFutureWatcher<std::optional<MixedSourceStaging::Staged>>(this);
    connect(m_stagingWatcher, &QFutureWatcherBase::finished, this,
            [this] { onStaged(m_stagingWatcher->result()); });
    m_stagingWatcher->setFuture(QtConcurrent::run(&MixedSourceStaging::stage, imagesPath, m_tempDir));
}

void CompanionReconstructor::onStaged(const std::optional<MixedSourceStaging::Staged>& staged)
{
    QString input = m_imagesPath;
    if (staged) {
        m_stagingPath = staged->path;
        input = staged->path;
    }
    if (m_cancelRequested) {
        finish(State::cancelled());
        return;
    }
    if (staged) {
        setRunningState(State::running(0.0, staged->note));
        if (m_progress) {
            m_progress(0.0, staged->note);
        }
        if (m_cancelRequested) {
            finish(State::cancelled());
            return;
        }
    }

    // The parent of the frames folder itself: "Images/" (trailing slash) names the same folder as "Images".
    const QString resultDir = QFileInfo(QDir::cleanPath(m_imagesPath)).absolutePath();
    m_modelPath = QDir(resultDir).filePath(QStringLiteral("model.usdz"));

    if (!m_sessionFactory) {
        finish(State::failed(QStringLiteral("No photogrammetry engine is available.")));
        return;
    }
    Expected<std::unique_ptr<PhotogrammetrySession>, QString> made = m_sessionFactory(input, m_configuration);
    if (!made) {
        finish(State::failed(made.error()));
        return;
    }
    m_session = std::move(made.value());
    m_activeSession = m_session.get();

    connect(m_session.get(), &PhotogrammetrySession::output, this, &CompanionReconstructor::onOutput);
    connect(m_session.get(), &PhotogrammetrySession::outputsEnded, this, [this] {
        finish(State::failed(QStringLiteral("Reconstruction ended without completion event")));
    });
    connect(m_session.get(), &PhotogrammetrySession::outputsFailed, this,
            [this](const QString& errorDescription) { finish(State::failed(errorDescription)); });

    // The earlier model stays in place until this run has completed.
    Expected<PendingModelSet, QString> modelSet = PendingModelSet::create(resultDir);
    if (!modelSet) {
        finish(State::failed(modelSet.error()));
        return;
    }
    m_modelSet = std::move(modelSet.value());

    const Expected<void, QString> accepted =
        m_session->process(m_modelSet->filePath(QStringLiteral("model.usdz")), m_detail);
    if (!accepted) {
        finish(State::failed(accepted.error()));
    }
}

void CompanionReconstructor::onOutput(const PhotogrammetrySession::Output& output)
{
    if (m_ended) {
        return;
    }
    using Kind = PhotogrammetrySession::Output::Kind;
    switch (output.kind) {
    case Kind::requestProgress: {
        // A fraction that is not a number cannot be shown as a percentage: the last progress stays.
        if (!std::isfinite(output.fractionComplete)) {
            return;
        }
        const QString message = progressMessage(output.fractionComplete);
        setRunningState(State::running(output.fractionComplete, message));
        if (m_progress) {
            m_progress(output.fractionComplete, message);
        }
        return;
    }
    case Kind::requestError:
        finish(State::failed(output.errorDescription));
        return;
    case Kind::processingComplete:
        complete(output.note);
        return;
    case Kind::processingCancelled:
        finish(State::cancelled());
        return;
    case Kind::other:
        return;
    }
}

void CompanionReconstructor::cancel()
{
    if (m_ended) {
        return;
    }
    m_cancelRequested = true;
    if (m_activeSession) {
        m_activeSession->cancel();
    }
}

void CompanionReconstructor::complete(const QString& note)
{
    if (const Expected<void, QString> model = m_modelSet->checkModel(); !model) {
        finish(State::failed(model.error()));
        return;
    }
    if (!m_commitsOnCompletion) {
        finish(State::completed(m_modelSet->filePath(QStringLiteral("model.usdz")), note));
        return;
    }
    const Expected<void, QString> committed = m_modelSet->commit();
    m_modelSet.reset();
    finish(committed ? State::completed(m_modelPath, note) : State::failed(committed.error()));
}

void CompanionReconstructor::setRunningState(const State& state)
{
    m_state = state;
    emit stateChanged(m_state);
}

void CompanionReconstructor::finish(const State& finalState)
{
    if (m_ended) {
        return;
    }
    m_ended = true;
    if (m_session) {
        m_session->disconnect(this);
    }
    m_activeSession = nullptr;
    if (!m_stagingPath.isEmpty()) {
        QDir(m_stagingPath).removeRecursively();
        m_stagingPath.clear();
    }
    if (finalState.kind != State::Kind::completed) {
        m_modelSet.reset();
    }
    m_state = finalState;
    emit stateChanged(m_state);
    if (m_finished) {
        m_finished(m_state);
    }
}

} // namespace tovarine
