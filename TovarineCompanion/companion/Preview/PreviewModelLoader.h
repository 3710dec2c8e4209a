#pragma once

#include "Expected.h"
#include "ModelMesh.h"
#include "PreviewBuffers.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace tovarine {

// Loads the model a preview shows, off the GUI thread, and decides when to load again: a request for the
// same file with the same modification time as the last attempt does nothing (a failed attempt included,
// so a failure is not retried on every look change); a new path or a rewritten file loads anew. A late
// result of an older request is dropped. GUI thread only (the reading runs on the global thread pool).
class PreviewModelLoader : public QObject
{
    Q_OBJECT
public:
    // Reads a model file: the mesh, or a user-facing sentence. Called on a worker thread.
    using ReadModel = std::function<Expected<ModelMesh, QString>(const QString& path)>;

    enum class Status { empty, loading, loaded, failed };

    // `readModel` defaults to reading model.usdz files.
    explicit PreviewModelLoader(ReadModel readModel = {}, QObject* parent = nullptr);
    ~PreviewModelLoader() override;

    // Starts loading `path` unless the last attempt was for the same path and modification time. Returns
    // whether a load started. An empty path clears the model.
    bool request(const QString& path);

    Status status() const { return m_status; }
    // The loaded buffers (null unless loaded).
    std::shared_ptr<const PreviewBuffers> buffers() const { return m_buffers; }
    // Why the last load failed (empty unless failed).
    QString errorMessage() const { return m_errorMessage; }
    // Number of loads started so far.
    int loadCount() const { return m_loadCount; }

signals:
    // After every status change.
    void statusChanged();

private:
    void finish(quint64 generation, std::shared_ptr<const PreviewBuffers> buffers, const QString& error);

    ReadModel m_readModel;
    QString m_lastPath;
    QDateTime m_lastModified;
    bool m_attempted = false;
    quint64 m_generation = 0;
    int m_loadCount = 0;
    Status m_status = Status::empty;
    std::shared_ptr<const PreviewBuffers> m_buffers;
    QString m_errorMessage;
};

} // namespace tovarine
