#include "DropReconstruction.h"

#include "CaptureStaging.h"
#include "PrivateTempFolder.h"
#include "ResultObjExport.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"
#include "ZipUnpacker.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QStandardPaths>
#include <QUuid>
#include <QtConcurrent>

namespace tovarine {

DropReconstruction::State DropReconstruction::State::preparing(const QString& message)
{
    State state;
    state.kind = Kind::preparing;
    state.message = message;
    return state;
}

DropReconstruction::State DropReconstruction::State::reconstructing(double fraction, const QString& message)
{
    State state;
    state.kind = Kind::reconstructing;
    state.fraction = fraction;
    state.message = message;
    return state;
}

DropReconstruction::State DropReconstruction::State::done(const QString& resultDir, const QString& meshPath,
                                                         const QString& note)
{
    State state;
    state.kind = Kind::done;
    state.message = note;
    state.resultDir = resultDir;
    state.meshPath = meshPath;
    return state;
}

DropReconstruction::State DropReconstruction::State::failed(const QString& message)
{
    State state;
    state.kind = Kind::failed;
    state.message = message;
    return state;
}

DropReconstruction::State DropReconstruction::State::idle()
{
    return State{};
}

bool DropReconstruction::State::operator==(const State& other) const
{
    return kind == other.kind && message == other.message && fraction == other.fraction &&
           resultDir == other.resultDir && meshPath == other.meshPath;
}

DropReconstruction::Environment
DropReconstruction::defaultEnvironment(PhotogrammetrySessionFactory sessionFactory)
{
    Environment environment;
    environment.desktopDir = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (environment.desktopDir.isEmpty()) {
        environment.desktopDir = QDir::home().filePath(QStringLiteral("Desktop"));
    }
    environment.tempDir = QDir::tempPath();
    environment.sessionFactory = std::move(sessionFactory);
    return environment;
}

DropReconstruction::DropReconstruction(Environment environment, QObject* parent)
    : QObject(parent), m_environment(std::move(environment))
{
    m_stagingPool.setMaxThreadCount(1);
    QThreadPool* pool = &m_stagingPool;
    // On the staging thread, so these end before any drop's unpacking or copying starts there. A model set
    // whose commit a crash cut short is made whole again before a drop can reuse its folder.
    pool->start([root = resultRoot()] { PendingModelSet::recoverResultFolders(root); });
    const Expected<QString, QString> privateDir = PrivateTempFolder::ensure(m_environment.tempDir);
    if (privateDir) {
        m_privateDir = *privateDir;
        pool->start([dir = m_privateDir] { PrivateTempFolder::sweepLeftovers(dir); });
    } else {
        m_privateDirError = privateDir.error();
    }
}

DropReconstruction::~DropReconstruction()
{
    abandonCurrentRun();
    m_stagingPool.waitForDone();
}

QString DropReconstruction::resultRoot() const
{
    return QDir(m_environment.desktopDir).filePath(QStringLiteral("tovarine"));
}

void DropReconstruction::setState(const State& state)
{
    m_state = state;
    emit stateChanged(m_state);
}

CompanionReconstructor* DropReconstruction::reconstructor() const
{
    return m_reconstructor;
}

void DropReconstruction::ingest(const QUrl& item, const QString& detail)
{
    abandonCurrentRun();
    const quint64 generation = m_generation;
    const QString itemPath = QDir::cleanPath(item.toLocalFile());
    QMetaObject::invokeMethod(
        this, [this, generation, itemPath, detail] { runPipeline(generation, itemPath, detail); },
        Qt::QueuedConnection);
}

void DropReconstruction::abandonCurrentRun()
{
    ++m_generation;
    if (m_stagingAbandoned) {
        m_stagingAbandoned->store(true);
    }
    if (m_reconstructor) {
        // Its ending still arrives and is ignored; the driver deletes itself then.
        m_reconstructor->cancel();
        m_reconstructor = nullptr;
    }
}

void DropReconstruction::runPipeline(quint64 generation, const QString& itemPath, const QString& detail)
{
    if (!isCurrent(generation)) {
        return;
    }
    setState(State::preparing(QStringLiteral("Inspecting ") + QFileInfo(itemPath).fileName() +
                              QStringLiteral("\u2026")));

    if (QFileInfo(itemPath).suffix().toLower() != QLatin1String("zip")) {
        stageCapture(generation, itemPath, detail);
        return;
    }
    unpackZip(generation, itemPath, detail);
}

void DropReconstruction::unpackZip(quint64 generation, const QString& zipPath, const QString& detail)
{
    if (m_privateDir.isEmpty()) {
        setState(State::failed(QStringLiteral("Couldn't unzip: ") + m_privateDirError));
        return;
    }
    const QString drops = QDir(m_privateDir).filePath(QStringLiteral("tovarine-drop"));
    const QString destination =
        QDir(drops).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    auto abandoned = std::make_shared<std::atomic<bool>>(false);
    m_stagingAbandoned = abandoned;

    using Result = Expected<void, QString>;
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, generation, detail, destination, watcher] {
        watcher->deleteLater();
        if (!isCurrent(generation)) {
            m_stagingPool.start([destination] { QDir(destination).removeRecursively(); });
            return;
        }
        const Result result = watcher->result();
        if (!result) {
            setState(State::failed(QStringLiteral("Couldn't unzip: ") + result.error()));
            return;
        }
        stageCapture(generation, destination, detail, destination);
    });
    watcher->setFuture(
        QtConcurrent::run(&m_stagingPool, [zipPath, drops, destination, abandoned]() -> Result {
            QDir().mkpath(drops);
            return ZipUnpacker::unpack(zipPath, destination, abandoned.get());
        }));
}

void DropReconstruction::stageCapture(quint64 generation, const QString& rootPath, const QString& detail,
                                      const QString& unpackedDir)
{
    CaptureStaging::Request request;
    request.rootPath = rootPath;
    request.tovarineDir = resultRoot();
    request.nowSeconds = QDateTime::currentSecsSinceEpoch();
    request.abandoned = std::make_shared<std::atomic<bool>>(false);
    m_stagingAbandoned = request.abandoned;

    // Finding, naming and copying the frames is file work that can take long: on the staging thread.
    using Result = Expected<CaptureStaging::Staged, QString>;
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, generation, detail, watcher] {
        watcher->deleteLater();
        if (!isCurrent(generation)) {
            return;
        }
        m_stagingAbandoned.reset();
        const Result result = watcher->result();
        if (!result) {
            setState(State::failed(result.error()));
            return;
        }
        reconstruct(generation, Staged{result->resultDir, result->imagesDir}, detail);
    });
    watcher->setFuture(QtConcurrent::run(&m_stagingPool, [request, unpackedDir] {
        Result result = CaptureStaging::stage(request);
        // The frames are on the Desktop now (or staging failed): the unpacked copy has served.
        if (!unpackedDir.isEmpty()) {
            QDir(unpackedDir).removeRecursively();
        }
        return result;
    }));
}

void DropReconstruction::reconstruct(quint64 generation, const Staged& staged, const QString& detail)
{
    auto* driver = new CompanionReconstructor(m_environment.sessionFactory, this);
    driver->setTempDir(m_privateDir.isEmpty() ? m_environment.tempDir : m_privateDir);
    // The model goes into place together with its OBJ files, once those are written too.
    driver->setCommitsOnCompletion(false);
    m_reconstructor = driver;

    // Progress reaches `state` one hop after the driver's own state; the ending takes the same queue, so it
    // never overtakes a progress update.
    QPointer<DropReconstruction> self(this);
    auto progress = [self, generation](double fraction, const QString& message) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, generation, fraction, message] {
                if (self && self->isCurrent(generation)) {
                    self->setState(State::reconstructing(fraction, message));
                }
            },
            Qt::QueuedConnection);
    };
    auto finished = [self, generation, staged, driver](const CompanionReconstructor::State& finalState) {
        driver->deleteLater();
        std::shared_ptr<PendingModelSet> models;
        if (std::optional<PendingModelSet> taken = driver->takeModelSet()) {
            models = std::make_shared<PendingModelSet>(std::move(*taken));
        }
        QMetaObject::invokeMethod(
            self.data(),
            [self, generation, staged, finalState, models] {
                if (self) {
                    self->onReconstructionEnded(generation, staged, finalState, models);
                }
            },
            Qt::QueuedConnection);
    };
    driver->run(staged.imagesDir, CompanionReconstructor::detail(detail), progress, finished);
}

void DropReconstruction::onReconstructionEnded(quint64 generation, const Staged& staged,
                                               const CompanionReconstructor::State& finalState,
                                               const std::shared_ptr<PendingModelSet>& models)
{
    using Kind = CompanionReconstructor::State::Kind;
    // An abandoned run's files go with `models`: the newer drop decides what the folder holds.
    if (!isCurrent(generation)) {
        return;
    }
    m_reconstructor = nullptr;
    switch (finalState.kind) {
    case Kind::completed:
        if (!models) {
            setState(State::failed(QStringLiteral("Reconstruction ended unexpectedly.")));
            return;
        }
        // No scene archive is written beside the model: nothing on this platform reads one.
        exportObjAndCommit(generation, staged, models, finalState.message);
        return;
    case Kind::failed:
        setState(State::failed(finalState.message));
        return;
    case Kind::cancelled:
        setState(State::failed(QStringLiteral("Cancelled.")));
        return;
    case Kind::running:
    case Kind::idle:
        setState(State::failed(QStringLiteral("Reconstruction ended unexpectedly.")));
        return;
    }
}

void DropReconstruction::exportObjAndCommit(quint64 generation, const Staged& staged,
                                            const std::shared_ptr<PendingModelSet>& models, const QString& note)
{
    const QString meshPath = models->filePath(QStringLiteral("model.usdz"));
    const QString objPath = models->filePath(QStringLiteral("model.obj"));
    const QString unit =
        ostrel::UserDefaults::standard().string(SettingsKeys::kUnits, SettingsKeys::kUnitsDefault);

    auto* watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, generation, staged, models, note, watcher] {
        watcher->deleteLater();
        if (!isCurrent(generation)) {
            return; // abandoned for a newer drop: its files go with `models`
        }
        // An export failure is not shown: the result stands without model.obj (the earlier model's OBJ goes
        // with the earlier model, so no OBJ of another model is left beside this one).
        const Expected<void, QString> committed = models->commit();
        if (!committed) {
            setState(State::failed(committed.error()));
            return;
        }
        setState(State::done(staged.resultDir, QDir(staged.resultDir).filePath(QStringLiteral("model.usdz")),
                             note));
    });
    watcher->setFuture(QtConcurrent::run([meshPath, objPath, unit, models] {
        if (exportResultObj(meshPath, objPath, unit)) {
            models->dropObjFiles(); // whatever the failed export left part-way
        }
    }));
}

} // namespace tovarine
