#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

#include "Expected.h"

namespace tovarine {

// One photogrammetry run over a folder of frames into one model file. An engine (for example the COLMAP layer)
// subclasses it; the driver (CompanionReconstructor) configures it, submits one model-file request and then
// follows its ordered stream of outputs. GUI thread only: the session does its work elsewhere (child
// processes, worker threads) and emits every output on the thread it lives on.
class PhotogrammetrySession : public QObject
{
    Q_OBJECT
public:
    enum class SampleOrdering { unordered, sequential };
    enum class FeatureSensitivity { normal, high };
    // Request detail levels, lightest first.
    enum class Detail { preview, reduced, medium, full, raw, custom };
    enum class TextureDimension { oneK, twoK, fourK, eightK, sixteenK };
    enum class TextureMap { diffuseColor, normal, roughness, displacement, ambientOcclusion };
    enum class TextureFormat { png, jpeg };

    // What the `custom` detail level means; an engine honours what it can (see its header).
    struct CustomDetailSpecification
    {
        int maximumPolygonCount = 0; // 0: the engine's own default
        TextureDimension maximumTextureDimension = TextureDimension::fourK;
        QSet<TextureMap> outputTextureMaps;
        TextureFormat textureFormat = TextureFormat::png;
    };

    struct Configuration
    {
        SampleOrdering sampleOrdering = SampleOrdering::unordered;
        FeatureSensitivity featureSensitivity = FeatureSensitivity::normal;
        CustomDetailSpecification customDetailSpecification;
    };

    // One element of the outputs stream. Outputs of kinds the driver does not know are `other`.
    struct Output
    {
        enum class Kind {
            requestProgress,     // fractionComplete in 0...1
            requestError,        // errorDescription: the whole user-facing sentence
            processingComplete,  // the requested model file has been written
            processingCancelled, // cancel() took effect; nothing was written
            other,
        };
        Kind kind = Kind::other;
        double fractionComplete = 0.0;
        QString errorDescription;
        QString note; // processingComplete: a sentence for the person about the run (frames left out), or empty
    };

    using QObject::QObject;
    ~PhotogrammetrySession() override = default;

    // Submits the one model-file request: write `modelPath` at `detail`. Returns an error (the request is
    // refused, nothing starts and no output follows) or starts the work; the outputs then arrive through
    // output() and the stream closes with outputsEnded() or outputsFailed().
    virtual Expected<void, QString> process(const QString& modelPath, Detail detail) = 0;

    // Asks the running work to stop; the stream then delivers processingCancelled (unless it already ended).
    // Safe to call at any time, more than once, and before process().
    virtual void cancel() = 0;

signals:
    // The ordered outputs. After the first of requestError, processingComplete or processingCancelled the
    // driver stops listening; the session still closes the stream.
    void output(const tovarine::PhotogrammetrySession::Output& output);
    // Exactly one of these two closes the stream of an accepted request, after its last output.
    // outputsEnded: the stream is over. outputsFailed: it broke off with an error (the engine could not run).
    void outputsEnded();
    void outputsFailed(const QString& errorDescription);
};

// Makes a session reading `inputFolder` with `configuration`; an error when the session cannot be made.
using PhotogrammetrySessionFactory = std::function<Expected<std::unique_ptr<PhotogrammetrySession>, QString>(
    const QString& inputFolder, const PhotogrammetrySession::Configuration& configuration)>;

} // namespace tovarine
