#pragma once

#include "CompanionReconstructor.h"
#include "PhotogrammetrySession.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QUrl>
#include <atomic>
#include <memory>

namespace tovarine {

// Turns one dropped item (a capture zip, a capture folder or an Images folder of frames) into a result folder
// under <desktop>/tovarine/<name>/ and a reconstructed model, publishing what the drop area shows. A run
// writes model.usdz and the OBJ files made from it (model.obj, model.mtl, the texture) as a pending set and
// replaces the folder's earlier model set with it only once both are written; a run that is cancelled, fails
// or is abandoned for a newer drop leaves the earlier set exactly as it was.
// Created once by the main window and kept for its life. GUI thread only.
class DropReconstruction : public QObject
{
    Q_OBJECT
public:
    struct State
    {
        enum class Kind { preparing, reconstructing, done, failed, idle };
        Kind kind = Kind::idle;
        QString message;       // preparing, reconstructing, failed; done: a note about the run, or empty
        double fraction = 0.0; // reconstructing
        QString resultDir;     // done: the result folder
        QString meshPath;      // done: model.usdz inside it (not the OBJ)

        static State preparing(const QString& message);
        static State reconstructing(double fraction, const QString& message);
        static State done(const QString& resultDir, const QString& meshPath, const QString& note = QString());
        static State failed(const QString& message);
        static State idle();
        bool operator==(const State& other) const;
    };

    // Where the pipeline reads and writes; the defaults are the user's Desktop and the system temp folder.
    struct Environment
    {
        QString desktopDir; // result folders go to <desktopDir>/tovarine/<name>/
        QString tempDir;    // the private per-user folder for unpacked zips and staging goes here
        PhotogrammetrySessionFactory sessionFactory;
    };
    // The user's Desktop (QStandardPaths), the system temp folder and the given engine.
    static Environment defaultEnvironment(PhotogrammetrySessionFactory sessionFactory);

    // Claims the private temporary folder and, when no other instance uses it, removes what an earlier run
    // left in it; in every result folder, finishes or rolls back a model-set commit that an ended process
    // left half done and removes abandoned pending sets (both in the background, before the first drop's
    // file work).
    explicit DropReconstruction(Environment environment, QObject* parent = nullptr);
    ~DropReconstruction() override;

    const State& state() const { return m_state; }
    // The main window puts the state back to idle ("Try again", "Drop another"); nothing is deleted.
    void setState(const State& state);

    // Starts the pipeline for `item` with the detail setting text and returns at once. Accepted in every
    // state; a drop while a run is under way cancels that run, whose late progress and ending are ignored.
    void ingest(const QUrl& item, const QString& detail);

    // The driver of the reconstruction running now, or null.
    CompanionReconstructor* reconstructor() const;

signals:
    void stateChanged(const tovarine::DropReconstruction::State& state);

private:
    struct Staged
    {
        QString resultDir;
        QString imagesDir;
    };

    // <desktopDir>/tovarine: the folder that holds the result folders.
    QString resultRoot() const;
    void abandonCurrentRun();
    bool isCurrent(quint64 generation) const { return generation == m_generation; }
    void runPipeline(quint64 generation, const QString& itemPath, const QString& detail);
    void unpackZip(quint64 generation, const QString& zipPath, const QString& detail);
    // `unpackedDir`, when given, is removed once the frames are staged (or staging failed).
    void stageCapture(quint64 generation, const QString& rootPath, const QString& detail,
                      const QString& unpackedDir = {});
    void reconstruct(quint64 generation, const Staged& staged, const QString& detail);
    void onReconstructionEnded(quint64 generation, const Staged& staged,
                               const CompanionReconstructor::State& finalState,
                               const std::shared_ptr<PendingModelSet>& models);
    // Writes the OBJ files into the pending set, then moves the whole set into the result folder; the done
    // state carries `note`.
    void exportObjAndCommit(quint64 generation, const Staged& staged,
                            const std::shared_ptr<PendingModelSet>& models, const QString& note);

    Environment m_environment;
    State m_state;
    // Counts drops; each pipeline step checks that its run is still the newest before touching state.
    quint64 m_generation = 0;
    QPointer<CompanionReconstructor> m_reconstructor;
    // <tempDir>/tovarine-<uid>, or empty with the reason in m_privateDirError.
    QString m_privateDir;
    QString m_privateDirError;
    std::shared_ptr<std::atomic<bool>> m_stagingAbandoned;
    // One thread: a new drop's folder copy starts only after an abandoned one has stopped.
    QThreadPool m_stagingPool;
};

} // namespace tovarine
