#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include "CompanionReconstructor.h"
#include "PhotogrammetrySession.h"

namespace tovarine {

// Turns one dropped item (a capture zip, a capture folder or an Images folder of frames) into a result folder
// under <desktop>/tovarine/<name>/ and a reconstructed model, publishing what the drop area shows.
// Created once by the main window and kept for its life. GUI thread only.
class DropReconstruction : public QObject
{
    Q_OBJECT
public:
    struct State
    {
        enum class Kind { preparing, reconstructing, done, failed, idle };
        Kind kind = Kind::idle;
        QString message;   // preparing, reconstructing, failed
        double fraction = 0.0; // reconstructing
        QString resultDir; // done: the result folder
        QString meshPath;  // done: model.usdz inside it (not the OBJ)

        static State preparing(const QString& message);
        static State reconstructing(double fraction, const QString& message);
        static State done(const QString& resultDir, const QString& meshPath);
        static State failed(const QString& message);
        static State idle();
        bool operator==(const State& other) const;
    };

    // Where the pipeline reads and writes; the defaults are the user's Desktop and the system temp folder.
    struct Environment
    {
        QString desktopDir;   // result folders go to <desktopDir>/tovarine/<name>/
        QString tempDir;      // tovarine-drop/ and tovarine-recon-* go here
        PhotogrammetrySessionFactory sessionFactory;
        QString unzipProgram = QStringLiteral("/usr/bin/unzip");
    };
    // The user's Desktop (QStandardPaths), the system temp folder and the given engine.
    static Environment defaultEnvironment(PhotogrammetrySessionFactory sessionFactory);

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
    // (private members are the implementer's)
    Environment m_environment;
    State m_state;
};

} // namespace tovarine
